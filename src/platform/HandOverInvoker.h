#pragma once
#include <atomic>
#include <functional>
#include <optional>

#include "platform/HandOverQueue.h"
#include "platform/Invoker.h"

namespace zp {

// An invoker whose hand-overs wait in a queue until the creator's thread runs them: what
// the message-queue, Qt and Windows invokers share. A subclass says which thread is the
// creator's, how that thread is woken to run the queue, and how it waits while serving.
class HandOverInvoker : public Invoker {
 public:
  bool RunAndWait(const std::function<void()>& fn) override;
  bool Post(std::function<void()> fn) override;
  void Close() override;
  bool IsClosed() const override;

  // Hand-overs running on the creator right now (they nest when one of them opens a
  // modal box and another arrives inside it).
  int ServingDepth() const { return FDepth; }

  // Once closed, a wait serves nothing and gives up within this.
  static constexpr long kClosedWaitMs = 100;

 protected:
  virtual bool OnCreator() const = 0;
  // Has the creator's thread run RunPending soon; false when it cannot be reached.
  virtual bool Wake() = 0;

  // On the creator: runs every queued hand-over in order, calling `after_each` after each.
  void RunPending(const std::function<void()>& after_each = {});
  // Hand-overs run so far: a wait for silence starts again when this changes.
  unsigned Served() const { return FServed.load(); }
  // A wait that cannot serve (off the creator's thread, or once closed) is a plain wait
  // for `ev`; empty when the caller should serve while it waits.
  std::optional<WaitResult> WaitWithoutServing(Event& ev, long ms) const;

 private:
  void RunOne(const std::function<void()>& fn);

  HandOverQueue FCalls;
  int FDepth = 0;                     // creator's thread only
  std::atomic<unsigned> FServed{0};
};

}  // namespace zp
