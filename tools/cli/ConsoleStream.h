#pragma once
#include <cstdio>
#include <string>
#include <string_view>

namespace zp {

// Standard output or error as the console runner writes to it, keeping the first failure:
// a full disk or a closed pipe on standard output must end the run with an error, never
// with status 0 and nothing said.
class ConsoleStream {
 public:
  explicit ConsoleStream(std::FILE* file) : FFile(file) {}

  // Writes `text` and flushes it, so that a reader sees each line as it comes.
  void Write(std::string_view text);
  bool Failed() const { return FError != 0; }
  // The first failure in the system's words, "No space left on device".
  std::string ErrorText() const;

 private:
  std::FILE* FFile;
  int FError = 0;
};

}  // namespace zp
