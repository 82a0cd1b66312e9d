#include "cli/ConsoleStream.h"

#include <cerrno>
#include <cstring>

namespace zp {

void ConsoleStream::Write(std::string_view text) {
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), FFile) == text.size() && std::fflush(FFile) == 0;
  if (!written && FError == 0) FError = errno != 0 ? errno : EIO;
}

std::string ConsoleStream::ErrorText() const { return std::strerror(FError); }

}  // namespace zp
