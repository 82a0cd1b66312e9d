#pragma once
// A program started for a test, with its standard output and error on pipes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace zp::test {

// A started program with its standard output and error on pipes. Killed when still
// running at destruction.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // One line of standard output, waiting up to `seconds`.
  std::string Line(double seconds = 5) {
    std::string line;
    const auto end = Deadline(seconds);
    char c;
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      if (read(out_, &c, 1) != 1 || c == '\n') break;
      line += c;
    }
    return line;
  }
  // Reads both streams to their end, then the exit status; -1 (and a kill) when the
  // program runs past `seconds`.
  int Finish(double seconds) {
    const auto end = Deadline(seconds);
    while ((out_ >= 0 || err_ >= 0) && std::chrono::steady_clock::now() < end) {
      std::vector<pollfd> fds;
      if (out_ >= 0) fds.push_back({out_, POLLIN, 0});
      if (err_ >= 0) fds.push_back({err_, POLLIN, 0});
      if (poll(fds.data(), fds.size(), 50) <= 0) continue;
      for (const pollfd& p : fds) {
        if (p.revents == 0) continue;
        char chunk[8192];
        const ssize_t n = read(p.fd, chunk, sizeof chunk);
        std::string& sink = p.fd == out_ ? out : err;
        if (n > 0) {
          sink.append(chunk, static_cast<std::size_t>(n));
        } else {
          close(p.fd);
          (p.fd == out_ ? out_ : err_) = -1;
        }
      }
    }
    if (out_ >= 0 || err_ >= 0) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
  }

  std::string out, err;

 private:
  static std::chrono::steady_clock::time_point Deadline(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  }
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
};

}  // namespace zp::test
