#pragma once
#include <functional>
#include <memory>

#include "platform/Event.h"

namespace zp {

// How a worker runs a call on the thread that created it and waits until it has run.
// The creator implements it (the window from its event loop, console programs and
// tests from their MessageQueue). Once the creator is closing, every call returns at
// once, so a worker can never wait on a creator that is gone.
class Invoker {
 public:
  enum class WaitResult { Signalled, TimedOut, Failed };

  virtual ~Invoker() = default;
  // Runs `fn` on the creator's thread and waits for it. Runs it inline when called on
  // that thread. False, without running it, once the invoker is closed.
  virtual bool RunAndWait(const std::function<void()>& fn) = 0;
  // Queues `fn` to run on the creator's thread, in order with the calls waited for, and
  // returns at once. False, and it never runs, once the invoker is closed.
  virtual bool Post(std::function<void()> fn) = 0;
  // Creator side: waits up to `ms` tick milliseconds for `ev` while serving hand-overs.
  virtual WaitResult WaitServing(Event& ev, long ms) = 0;
  // Makes pending and later RunAndWait calls return false at once.
  virtual void Close() = 0;
  virtual bool IsClosed() const = 0;
};

}  // namespace zp
