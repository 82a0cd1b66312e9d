#pragma once
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace zp {

// Standard output or error as the console runner writes to it, keeping the first failure:
// a full disk or a closed pipe on standard output must end the run with an error, never
// with status 0 and nothing said. Its text is UTF-8: a file or a pipe gets those bytes, a
// console that shows characters rather than bytes gets the characters (IsCharacterConsole).
//
// How the text leaves is decided here and nowhere else. A terminal gets each Write at
// once, since a person watches the trace live. A file or a pipe gets blocks: a write per
// trace line would cost a system call each, thousands a second in a hex dump. Whoever
// writes to a block stream flushes it at the end of each output and before waiting on
// anything, so that a reader of a pipe never waits on text that is ready.
class ConsoleStream {
 public:
  enum class Buffering { Line, Block };
  // What a block stream keeps before it writes by itself.
  static constexpr std::size_t kBlockBytes = 64 * 1024;

  // Line buffered for a terminal, block buffered for anything else.
  explicit ConsoleStream(std::FILE* file);
  ConsoleStream(std::FILE* file, Buffering buffering);
  ~ConsoleStream();  // flushes
  ConsoleStream(const ConsoleStream&) = delete;
  ConsoleStream& operator=(const ConsoleStream&) = delete;

  // Writes `text`, whole lines: never split between two writes to the file, so that a
  // line of a monitoring system's reader arrives whole.
  void Write(std::string_view text);
  // Hands what is kept to the file now.
  void Flush();
  Buffering Mode() const { return FBuffering; }
  bool Failed() const { return FError != 0; }
  // The first failure in the system's words, "No space left on device".
  std::string ErrorText() const;

 private:
  // The one place text leaves the program.
  void Emit(std::string_view text);

  std::FILE* FFile;
  Buffering FBuffering;
  bool FConsole;
  std::string FKept;
  int FError = 0;
};

}  // namespace zp
