#pragma once
#include <cstdio>
#include <string_view>

namespace zp {

// Text for a person at a console. The programs write UTF-8, and a file or a pipe takes it
// as bytes on every system; so does a terminal on Linux, where the locale decides. A
// Windows console shows characters, not bytes: bytes written to it are read in its code
// page (437, 850, …), and even code page 65001 shows "—" garbled with the older consoles
// and raster fonts. Text for a Windows console therefore goes to it as its own characters.

// True when `stream` is a terminal (a console window on Windows) where a person watches
// the output as it comes; false for a file, a pipe or a device such as /dev/null.
bool IsTerminal(std::FILE* stream);

// Whether `stream` is a console that takes characters rather than bytes (on Windows a
// console window; never a file, a pipe, or a terminal that takes bytes).
bool IsCharacterConsole(std::FILE* stream);

// Writes UTF-8 `text` to the console `stream` is, after whatever the stream holds
// buffered; a byte that is not UTF-8 shows as U+FFFD. False, with an errno value in
// `error`, when the console refuses it.
bool WriteToConsole(std::FILE* stream, std::string_view text, int& error);

}  // namespace zp
