#pragma once

namespace zp {

// A waitable event, auto- or manual-reset. It is a descriptor underneath so that one
// poll can wait on events, a message queue's wake-up and sockets together.
class Event {
 public:
  enum class Reset { Auto, Manual };

  explicit Event(Reset mode, bool initially_set = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void ResetEvent();
  bool IsManualReset() const { return mode_ == Reset::Manual; }

  // Waits up to `ms` tick milliseconds (negative: for ever). True when signalled;
  // an auto-reset event is consumed by the successful wait.
  bool Wait(long ms);

  // For the multi-object wait: the descriptor is readable while the event is set.
  int Fd() const { return fd_; }
  // After the descriptor polled readable: claims the signal. An auto-reset event is
  // consumed here (false if another waiter took it first); a manual one stays set.
  bool TryClaim();

 private:
  Reset mode_;
  int fd_ = -1;
};

}  // namespace zp
