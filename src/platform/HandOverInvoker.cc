#include "platform/HandOverInvoker.h"

#include <utility>

namespace zp {

bool HandOverInvoker::RunAndWait(const std::function<void()>& fn) {
  if (OnCreator()) {
    if (IsClosed()) return false;
    RunOne(fn);
    return true;
  }
  return FCalls.SubmitAndWait(fn, [this] { return Wake(); });
}

bool HandOverInvoker::Post(std::function<void()> fn) {
  return FCalls.Post(std::move(fn), [this] { return Wake(); });
}

void HandOverInvoker::Close() { FCalls.Close(); }

bool HandOverInvoker::IsClosed() const { return FCalls.IsClosed(); }

void HandOverInvoker::RunPending(const std::function<void()>& after_each) {
  FCalls.RunPending([this, &after_each](const std::function<void()>& fn) {
    RunOne(fn);
    if (after_each) after_each();
  });
}

void HandOverInvoker::RunOne(const std::function<void()>& fn) {
  ++FDepth;
  ++FServed;
  // A worker waits for this call: it must be marked done whatever happened.
  HandOverQueue::RunGuarded(fn);
  --FDepth;
}

std::optional<Invoker::WaitResult> HandOverInvoker::WaitWithoutServing(Event& ev, long ms) const {
  if (OnCreator() && !IsClosed()) return std::nullopt;
  const long wait = IsClosed() && (ms < 0 || ms > kClosedWaitMs) ? kClosedWaitMs : ms;
  return ev.Wait(wait) ? WaitResult::Signalled : WaitResult::TimedOut;
}

}  // namespace zp
