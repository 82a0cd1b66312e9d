#include "platform/PollWait.h"

#include <cerrno>
#include <climits>

#include "platform/Tick.h"

namespace zp {

PollDeadline::PollDeadline(long tick_ms) : infinite_(tick_ms < 0) {
  if (!infinite_)
    end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(TicksToRealMs(tick_ms));
}

int PollDeadline::RemainingMs() const {
  if (infinite_) return -1;
  const auto left = end_ - std::chrono::steady_clock::now();
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
