#include "cli/ConsoleStream.h"

#include <cerrno>
#include <cstring>

#include "platform/ConsoleOutput.h"

namespace zp {

ConsoleStream::ConsoleStream(std::FILE* file)
    : ConsoleStream(file, IsTerminal(file) ? Buffering::Line : Buffering::Block) {}

ConsoleStream::ConsoleStream(std::FILE* file, Buffering buffering)
    : FFile(file), FBuffering(buffering), FConsole(IsCharacterConsole(file)) {}

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

void ConsoleStream::Emit(std::string_view text) {
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
