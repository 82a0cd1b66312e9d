#pragma once
#include <cstdio>

namespace zp {

// True when `file` is a terminal (a console window on Windows) where a person watches
// the output as it comes; false for a file, a pipe or a device such as /dev/null.
bool IsTerminal(std::FILE* file);

// The console programs write UTF-8 (the window's words: dashes, ellipses). Where a
// console shows bytes through a code page of its own (Windows: 437, 850, …), this switches
// the console's output to UTF-8 for as long as the program runs and back at its end, so
// that "—" shows as a dash rather than as three stray letters. Output into a file or a
// pipe is the same UTF-8 either way. Elsewhere it does nothing.
void UseUtf8Console();

}  // namespace zp
