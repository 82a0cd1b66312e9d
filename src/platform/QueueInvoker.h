#pragma once
#include <thread>

#include "platform/HandOverInvoker.h"
#include "platform/MessageQueue.h"

namespace zp {

// The plain implementation on the creating thread's MessageQueue: a hand-over is a
// message to a hidden window of that thread, run when the thread dispatches.
class QueueInvoker final : public HandOverInvoker {
 public:
  // Must be constructed, used for WaitServing and destroyed on the creator's thread.
  QueueInvoker();
  ~QueueInvoker() override;

  WaitResult WaitServing(Event& ev, long ms) override;
  // As WaitServing, but `ms` is the whole wait however many hand-overs arrive (WaitServing
  // waits for `ms` of silence): for a caller that keeps a deadline.
  WaitResult ServeFor(Event& ev, long ms);

 protected:
  bool OnCreator() const override { return std::this_thread::get_id() == FCreator; }
  bool Wake() override;

 private:
  std::thread::id FCreator;
  WindowHandle FWindow = 0;
};

}  // namespace zp
