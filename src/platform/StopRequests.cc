#include "platform/StopRequests.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>

namespace zp {
namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// Only what a signal handler may touch: a lock-free number and a pipe's write end.
std::atomic<int> g_signal{0};
int g_wake[2] = {-1, -1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnStopSignal(int sig) {
  int none = 0;
  if (!g_signal.compare_exchange_strong(none, sig)) {
    // The second request: what the signal does to a program that does not catch it. It
    // stays blocked until this handler returns, and then ends the process.
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  const int saved = errno;
  const char byte = 1;
  if (write(g_wake[1], &byte, 1) < 0) {
    // The pipe is full only when a byte is there already: the waiter wakes anyway.
  }
  errno = saved;
}

}  // namespace

void CatchStopRequests() {
  if (g_wake[0] < 0 && pipe(g_wake) == 0) {
    for (const int fd : g_wake) {
      fcntl(fd, F_SETFD, FD_CLOEXEC);
      fcntl(fd, F_SETFL, O_NONBLOCK);
    }
  }
  struct sigaction action{};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // Calls that a request interrupts go on: the program looks at the request when it is ready.
  action.sa_flags = SA_RESTART;
  for (const int sig : kStopSignals) sigaction(sig, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

const char* StopRequestName() {
  switch (g_signal.load()) {
    case 0: return nullptr;
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGHUP: return "SIGHUP";
    default: return "a signal";
  }
}

bool WaitForStopRequest(double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds > 0 ? seconds : 0);
  while (!StopRequested()) {
    int timeout = -1;
    if (seconds > 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
      if (left <= 0) return false;
      timeout = left > 60000 ? 60000 : static_cast<int>(left);
    }
    pollfd wake{g_wake[0], POLLIN, 0};
    // An interruption or a wake-up: look at the request again, with the time still left.
    if (poll(&wake, 1, timeout) > 0) {
      char drained[16];
      while (read(g_wake[0], drained, sizeof drained) > 0) {
      }
    }
  }
  return true;
}

// The process ends by returning from main.
void StopRequestDone() {}

}  // namespace zp
