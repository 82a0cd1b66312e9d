#include "platform/ConsoleOutput.h"

#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/WideText.h"

namespace zp {

namespace {

HANDLE HandleOf(std::FILE* stream) {
  const int fd = _fileno(stream);
  return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// Older consoles refuse a single write past 64 KiB: the text goes in pieces well below.
constexpr std::size_t kPieceChars = 8192;

}  // namespace

// A console is where a person watches; the runtime's own test would count NUL as one.
bool IsTerminal(std::FILE* stream) { return IsCharacterConsole(stream); }

bool IsCharacterConsole(std::FILE* stream) {
  DWORD mode = 0;
  const HANDLE handle = HandleOf(stream);
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != FALSE;
}

bool WriteToConsole(std::FILE* stream, std::string_view text, int& error) {
  // Whatever went in through the runtime comes out first.
  if (std::fflush(stream) != 0) {
    error = errno != 0 ? errno : EIO;
    return false;
  }
  const std::wstring wide = Wide(std::string(text));
  const HANDLE handle = HandleOf(stream);
  for (std::size_t at = 0; at < wide.size();) {
    std::size_t n = std::min(kPieceChars, wide.size() - at);
    // A surrogate pair stays in one piece.
    if (at + n < wide.size() && IS_HIGH_SURROGATE(wide[at + n - 1])) --n;
    DWORD written = 0;
    if (!WriteConsoleW(handle, wide.data() + at, static_cast<DWORD>(n), &written, nullptr) || written == 0) {
      error = EIO;
      return false;
    }
    at += written;
  }
  return true;
}

}  // namespace zp
