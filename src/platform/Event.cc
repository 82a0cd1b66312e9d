#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include "platform/PollWait.h"

namespace zp {
namespace {
int FdOf(std::intptr_t handle) { return static_cast<int>(handle); }
}  // namespace

Event::Event(Reset mode, bool initially_set) : FMode(mode) {
  FHandle = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FHandle < 0) throw std::runtime_error("eventfd failed");
  if (initially_set) Set();
}

Event::~Event() {
  if (FHandle >= 0) close(FdOf(FHandle));
}

void Event::Set() {
  RaiseEventFd(FdOf(FHandle));
}

void Event::ResetEvent() { DrainEventFd(FdOf(FHandle)); }

bool Event::TryClaim() {
  if (FMode == Reset::Manual) {
    pollfd p{FdOf(FHandle), POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
  }
  return DrainEventFd(FdOf(FHandle));
}

bool Event::Wait(long ms) {
  PollDeadline deadline(ms);
  for (;;) {
    pollfd p{FdOf(FHandle), POLLIN, 0};
    const int r = PollWithDeadline(&p, 1, deadline);
    if (r < 0) return false;
    if (r > 0 && TryClaim()) return true;
    if (r == 0) return false;
  }
}

}  // namespace zp
