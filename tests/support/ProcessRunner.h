#pragma once
// A program started for a test, with its standard output and error on pipes, on every
// system: the common part in ProcessRunner.cc, the system's calls in ChildProcess.cc
// (POSIX) and ChildProcess_win.cc (Windows).
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace zp::test {

class ChildProcess;

// A started program; killed when still running at destruction. args[0] is the program's
// path as CMake gives it. Both streams are read as they come, so the program never blocks
// on a full pipe. Line ends arrive as "\n" on every system.
class Program {
 public:
  explicit Program(std::vector<std::string> args);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const;
  // One line of standard output (without its end), waiting up to `seconds`; what came
  // so far when the time is up.
  std::string Line(double seconds = 5);
  // Waits for both streams to end (appending what Line did not take to `out` and `err`),
  // then for the exit status; -1 (and a kill) when the program runs past `seconds`.
  int Finish(double seconds);
  // Asks the program to end in order: SIGTERM on POSIX systems, Ctrl+C on Windows.
  // Where the request cannot be delivered the program is ended at once instead.
  // Returns whether it was asked.
  bool Stop();

  std::string out, err;

 private:
  struct Stream {
    std::string pending;  // read, not yet handed out
    bool ended = false;
    bool last_was_cr = false;  // a carriage return held back until the next byte
  };
  void Read(int which);
  void KillAndReap();

  std::unique_ptr<ChildProcess> child_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Stream streams_[2];
  std::thread readers_[2];
  bool reaped_ = false;
  int status_ = -1;
};

// This process's id, for names of temporary files and keys that tests run at once
// must not share.
unsigned long CurrentProcessId();

// A program's output split at its line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

}  // namespace zp::test
