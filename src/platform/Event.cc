#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include "platform/PollWait.h"

namespace zp {

Event::Event(Reset mode, bool initially_set) : mode_(mode) {
  fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd_ < 0) throw std::runtime_error("eventfd failed");
  if (initially_set) Set();
}

Event::~Event() {
  if (fd_ >= 0) close(fd_);
}

void Event::Set() {
  // The counter only needs to be non-zero; saturating writes cannot block with
  // EFD_NONBLOCK, and a failed write means it is already set.
  const std::uint64_t one = 1;
  ssize_t n;
  do {
    n = write(fd_, &one, sizeof one);
  } while (n < 0 && errno == EINTR);
}

void Event::ResetEvent() {
  std::uint64_t value;
  ssize_t n;
  do {
    n = read(fd_, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
}

bool Event::TryClaim() {
  if (mode_ == Reset::Manual) {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
  }
  std::uint64_t value;
  ssize_t n;
  do {
    n = read(fd_, &value, sizeof value);
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof value);
}

bool Event::Wait(long ms) {
  PollDeadline deadline(ms);
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    const int r = PollWithDeadline(&p, 1, deadline);
    if (r < 0) return false;
    if (r > 0 && TryClaim()) return true;
    if (r == 0) return false;
  }
}

}  // namespace zp
