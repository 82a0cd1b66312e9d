#pragma once
#include <cstdio>
#include <string>
#include <string_view>

namespace zp {

// Standard output or error as the console runner writes to it, keeping the first failure:
// a full disk or a closed pipe on standard output must end the run with an error, never
// with status 0 and nothing said. Its text is UTF-8: a file or a pipe gets those bytes, a
// console that shows characters rather than bytes gets the characters (IsCharacterConsole).
class ConsoleStream {
 public:
  explicit ConsoleStream(std::FILE* file);

  // Writes `text` and flushes it, so that a reader sees each line as it comes.
  void Write(std::string_view text);
  bool Failed() const { return FError != 0; }
  // The first failure in the system's words, "No space left on device".
  std::string ErrorText() const;

 private:
  std::FILE* FFile;
  bool FConsole;
  int FError = 0;
};

}  // namespace zp
