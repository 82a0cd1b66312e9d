#include "StopRequests.h"

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <ctime>

namespace zp::sim {
namespace {

sigset_t& Signals() {
  static sigset_t signals;
  return signals;
}

}  // namespace

// The signals are blocked in every thread (threads started later inherit the mask), so
// only the wait below takes them.
void CatchStopRequests() {
  sigset_t& signals = Signals();
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void WaitForStopRequest(double seconds) {
  const sigset_t& signals = Signals();
  if (seconds <= 0) {
    int sig = 0;
    sigwait(&signals, &sig);
    return;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
    wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
    // Other than time-out, only an interruption (a stop and continue, a debugger) returns
    // without one of the signals: wait on for the time still left.
    if (sigtimedwait(&signals, nullptr, &wait) >= 0 || errno != EINTR) return;
  }
}

// The process ends by returning from main.
void StopRequestDone() {}

}  // namespace zp::sim
