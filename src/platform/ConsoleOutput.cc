#include "platform/ConsoleOutput.h"

#include <unistd.h>

#include <cerrno>

namespace zp {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

// Terminals here take the bytes as they are: the locale, not the program, decides.
bool IsCharacterConsole(std::FILE*) { return false; }

bool WriteToConsole(std::FILE* stream, std::string_view text, int& error) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0) return true;
  error = errno != 0 ? errno : EIO;
  return false;
}

}  // namespace zp
