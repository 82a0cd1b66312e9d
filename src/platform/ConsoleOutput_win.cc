#include "platform/ConsoleOutput.h"

#include <windows.h>

#include <io.h>

#include <cstdlib>

namespace zp {

namespace {

UINT gEarlierCodePage = 0;

void RestoreCodePage() {
  if (gEarlierCodePage != 0) SetConsoleOutputCP(gEarlierCodePage);
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
}

}  // namespace

// The runtime's own test counts NUL as a character device, hence a terminal: only a
// console answers GetConsoleMode.
bool IsTerminal(std::FILE* file) {
  const intptr_t handle = _get_osfhandle(_fileno(file));
  DWORD mode = 0;
  return handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &mode) != FALSE;
}

void UseUtf8Console() {
  if (gEarlierCodePage != 0 || (!IsConsole(STD_OUTPUT_HANDLE) && !IsConsole(STD_ERROR_HANDLE))) return;
  const UINT earlier = GetConsoleOutputCP();
  if (earlier == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
  // The console is the user's, and outlives the program: it gets its code page back.
  gEarlierCodePage = earlier;
  std::atexit(RestoreCodePage);
}

}  // namespace zp
