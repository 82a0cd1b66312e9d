#pragma once
#include <cstdint>

namespace zp {

// A waitable event, auto- or manual-reset. Underneath it is what the system waits on
// together with its other waitables: an event handle on Windows, elsewhere a descriptor
// so that one poll can wait on events, a message queue's wake-up and sockets together.
class Event {
 public:
  enum class Reset { Auto, Manual };

  explicit Event(Reset mode, bool initially_set = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void ResetEvent();
  bool IsManualReset() const { return FMode == Reset::Manual; }

  // Waits up to `ms` tick milliseconds (negative: for ever). True when signalled;
  // an auto-reset event is consumed by the successful wait.
  bool Wait(long ms);

  // For the multi-object wait: the event handle, or the descriptor that is readable
  // while the event is set.
  std::intptr_t NativeHandle() const { return FHandle; }
  // After the descriptor polled readable (or the handle was signalled): claims the
  // signal. An auto-reset event is consumed here (false if another waiter took it
  // first); a manual one stays set.
  bool TryClaim();

 private:
  Reset FMode;
  std::intptr_t FHandle = -1;
};

}  // namespace zp
