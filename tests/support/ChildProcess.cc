#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace zp::test {
namespace {

class PosixChild final : public ChildProcess {
 public:
  PosixChild(pid_t pid, int out, int err) : pid_(pid), fds_{out, err} {}
  ~PosixChild() override {
    for (const int fd : fds_) close(fd);
  }

  long Read(int stream, char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = read(fds_[stream], buffer, size);
      if (n >= 0 || errno != EINTR) return n < 0 ? 0 : static_cast<long>(n);
    }
  }
  int Wait() override {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Kill() override { kill(pid_, SIGKILL); }
  bool RequestStop() override { return kill(pid_, SIGTERM) == 0; }
  bool CrLfLines() const override { return false; }

 private:
  pid_t pid_;
  int fds_[2];
};

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::vector<std::string>& args) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return nullptr;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return nullptr;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  pid_t pid = -1;
  const bool started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  if (!started) {
    close(out[0]);
    close(err[0]);
    return nullptr;
  }
  return std::make_unique<PosixChild>(pid, out[0], err[0]);
}

unsigned long SystemProcessId() { return static_cast<unsigned long>(getpid()); }

}  // namespace zp::test
