#pragma once
// A creator's invoker that hands a worker's trace over one line at a time and makes the
// worker wait for each: what a test sees of the worker when a line arrives (its status,
// the tick, a stop it asks for on that line) is then what the worker had when it traced
// the line, as in a trace read back line by line.
#include <functional>
#include <memory>

#include "platform/QueueInvoker.h"

namespace zp::test {

class LineByLineInvoker final : public Invoker {
 public:
  bool RunAndWait(const std::function<void()>& fn) override { return FQueue.RunAndWait(fn); }
  bool Post(std::function<void()> fn) override { return FQueue.RunAndWait(fn); }
  WaitResult WaitServing(Event& ev, long ms) override { return FQueue.WaitServing(ev, ms); }
  void Close() override { FQueue.Close(); }
  bool IsClosed() const override { return FQueue.IsClosed(); }

 private:
  QueueInvoker FQueue;
};

}  // namespace zp::test
