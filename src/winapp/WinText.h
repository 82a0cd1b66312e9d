#pragma once
#include <string>
#include <string_view>

namespace zp {

// Bytes as the window shows them: one character per byte, as the Qt window does. Texts
// from the network are escaped before they get here, so none of them acts as layout.
std::wstring BytesW(std::string_view bytes);
// The system's own words (UTF-8: dashes, ellipses) in the window's characters.
std::wstring WordsW(std::string_view utf8);
// What the operator typed, back to bytes for the worker (characters past one byte become '?').
std::string Latin1(std::wstring_view text);
// A list line back to the bytes it stands for; characters past one byte in UTF-8.
std::string LineBytes(std::wstring_view line);
// UTF-8, for files and tests.
std::string Utf8(std::wstring_view text);

}  // namespace zp
