#pragma once
#include <string>
#include <string_view>

namespace zp {

// Every text the session hands the window is UTF-8: the system's own words (dashes,
// ellipses), what the operator typed, and texts from the network, which are escaped
// before they get here (EscapeControls leaves only valid UTF-8), so none of them acts as
// layout and a route named "Zürich—β" reads as itself in the trace and the legends.
std::wstring BytesW(std::string_view utf8);
// The same, for the system's own words.
std::wstring WordsW(std::string_view utf8);
// What the operator typed, back to UTF-8 for the worker.
std::string Latin1(std::wstring_view text);
// A list line back to the UTF-8 it stands for.
std::string LineBytes(std::wstring_view line);
// UTF-8, for files and tests.
std::string Utf8(std::wstring_view text);
// Text for the clipboard: every line ended by CR LF, as Windows' own programs paste it.
std::wstring WithCrLfW(std::wstring_view text);

}  // namespace zp
