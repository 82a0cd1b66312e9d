#include "cli/ConsoleStream.h"

#include <cerrno>
#include <cstring>

#include "platform/ConsoleOutput.h"

namespace zp {

ConsoleStream::ConsoleStream(std::FILE* file) : FFile(file), FConsole(IsCharacterConsole(file)) {}

void ConsoleStream::Write(std::string_view text) {
  if (FConsole) {
    int error = 0;
    if (!WriteToConsole(FFile, text, error) && FError == 0) FError = error;
    return;
  }
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), FFile) == text.size() && std::fflush(FFile) == 0;
  if (!written && FError == 0) FError = errno != 0 ? errno : EIO;
}

std::string ConsoleStream::ErrorText() const { return std::strerror(FError); }

}  // namespace zp
