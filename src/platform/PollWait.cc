#include "platform/PollWait.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <climits>

#include "platform/Tick.h"

namespace zp {

void RaiseEventFd(int fd) {
  const std::uint64_t one = 1;
  ssize_t n;
  do {
    n = write(fd, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

bool DrainEventFd(int fd) {
  std::uint64_t value;
  ssize_t n;
  do {
    n = read(fd, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof value);
}

PollDeadline::PollDeadline(long tick_ms) : FInfinite(tick_ms < 0) {
  if (!FInfinite)
    FEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(TicksToRealMs(tick_ms));
}

int PollDeadline::RemainingMs() const {
  if (FInfinite) return -1;
  const auto left = FEnd - std::chrono::steady_clock::now();
  if (left <= std::chrono::steady_clock::duration::zero()) return 0;
  // Round up so that a poll never returns just before the deadline and spins.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

int PollWithDeadline(pollfd* fds, nfds_t n, const PollDeadline& deadline) {
  for (;;) {
    const int r = poll(fds, n, deadline.RemainingMs());
    if (r >= 0 || errno != EINTR) return r;
  }
}

}  // namespace zp
