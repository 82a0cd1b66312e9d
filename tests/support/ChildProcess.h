#pragma once
// The system's side of Program: one started process and its two output pipes.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace zp::test {

class ChildProcess {
 public:
  // Starts args[0] with `args` and standard output and error on pipes (standard input
  // empty); nullptr when it cannot start.
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& args);
  virtual ~ChildProcess() = default;

  // Reads standard output (0) or error (1), blocking: the bytes read, 0 at the end.
  virtual long Read(int stream, char* buffer, std::size_t size) = 0;
  // Waits for the end: its exit status (128 + the signal for a killed POSIX process).
  virtual int Wait() = 0;
  virtual void Kill() = 0;
  // The request to end in order (SIGTERM, or Ctrl+C on Windows); false when it could
  // not be delivered.
  virtual bool RequestStop() = 0;
  // Whether the system writes text lines with "\r\n".
  virtual bool CrLfLines() const = 0;
};

unsigned long SystemProcessId();

}  // namespace zp::test
