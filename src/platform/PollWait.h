#pragma once
#include <poll.h>

#include <chrono>

namespace zp {

// A wait budget in tick milliseconds turned into a real-time deadline once, so that
// a poll interrupted by a signal resumes with only the time still left.
class PollDeadline {
 public:
  explicit PollDeadline(long tick_ms);  // negative: no deadline
  // Real milliseconds left for poll(): -1 for ever, 0 when expired.
  int RemainingMs() const;
  bool Infinite() const { return FInfinite; }

 private:
  bool FInfinite;
  std::chrono::steady_clock::time_point FEnd;
};

// The counter of an eventfd: Raise makes it readable (it cannot block: the descriptor is
// non-blocking and a full counter is set already); Drain reads it back to zero and says
// whether it was set. Both retry on EINTR.
void RaiseEventFd(int fd);
bool DrainEventFd(int fd);

// poll() that retries on EINTR with the time left. Returns poll's result (0 on time-out).
int PollWithDeadline(pollfd* fds, nfds_t n, const PollDeadline& deadline);

}  // namespace zp
