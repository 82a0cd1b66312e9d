#pragma once
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace zp {

// One trace line as every front end shows it: the worker's name, the local time at which
// the worker traced it, and the text.
struct TraceLine {
  std::string name;
  std::string time;
  std::string text;
};

using TraceLineHandler = std::function<void(const TraceLine& line)>;

// The time column's form, "ddd mm/dd hh:nn:ss".
std::string TraceTimeText(std::time_t when);
// "name<TAB>time<TAB>text": the window's list, Copy, Save Trace and the console. The text
// is shown through EscapeControls, so that bytes from the network never act as layout.
std::string FormatTraceLine(const TraceLine& line);

// A text from the network made safe to show: control characters (other than TAB), DEL,
// the C1 controls, the invisible direction controls (U+061C, U+200E, U+200F, U+202A to
// U+202E, U+2066 to U+2069) and bytes that are not UTF-8 become "\xNN", byte by byte;
// other valid UTF-8 stays as it is.
std::string EscapeControls(std::string_view text);

}  // namespace zp
