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
  bool Infinite() const { return infinite_; }

 private:
  bool infinite_;
  std::chrono::steady_clock::time_point end_;
};

// poll() that retries on EINTR with the time left. Returns poll's result (0 on time-out).
int PollWithDeadline(pollfd* fds, nfds_t n, const PollDeadline& deadline);

}  // namespace zp
