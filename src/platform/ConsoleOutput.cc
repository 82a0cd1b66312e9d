#include "platform/ConsoleOutput.h"

#include <cerrno>

namespace zp {

// Terminals here take the bytes as they are: the locale, not the program, decides.
bool IsCharacterConsole(std::FILE*) { return false; }

bool WriteToConsole(std::FILE* stream, std::string_view text, int& error) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0) return true;
  error = errno != 0 ? errno : EIO;
  return false;
}

}  // namespace zp
