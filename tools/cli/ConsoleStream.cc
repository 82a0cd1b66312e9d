#include "cli/ConsoleStream.h"

#include <cerrno>
#include <cstring>

#include "platform/ConsoleOutput.h"

namespace zp {

ConsoleStream::ConsoleStream(std::FILE* file)
    : ConsoleStream(file, IsTerminal(file) ? Buffering::Line : Buffering::Block) {}

ConsoleStream::~ConsoleStream() { Flush(); }

void ConsoleStream::Write(std::string_view text) {
  if (FBuffering == Buffering::Line) {
    Emit(text);
    return;
  }
  FKept.append(text);
  if (FKept.size() >= kBlockBytes) Flush();
}

void ConsoleStream::Flush() {
  if (FKept.empty()) return;
  Emit(FKept);
  FKept.clear();
}

void ConsoleStream::Emit(std::string_view bytes) {
  errno = 0;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), FFile) == bytes.size() && std::fflush(FFile) == 0;
  if (!written && FError == 0) FError = errno != 0 ? errno : EIO;
}

std::string ConsoleStream::ErrorText() const { return std::strerror(FError); }

}  // namespace zp
