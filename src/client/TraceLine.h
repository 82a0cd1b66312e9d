#pragma once
#include <functional>
#include <string>

namespace zp {

// One trace line as every front end shows it: the worker's name, the local time at which
// the line reached the creating thread, and the text.
struct TraceLine {
  std::string name;
  std::string time;
  std::string text;
};

using TraceLineHandler = std::function<void(const TraceLine& line)>;

// The time column's form, "ddd mm/dd hh:nn:ss", for now.
std::string TraceTimeNow();
// "name<TAB>time<TAB>text": the window's list, Copy, Save Trace and the console.
std::string FormatTraceLine(const TraceLine& line);

}  // namespace zp
