#include "platform/QueueInvoker.h"

#include <algorithm>
#include <cstdint>

#include "platform/Tick.h"

namespace zp {

namespace {
constexpr std::uint32_t kRunPendingMessage = 0x8001;  // private to the invoker's window
}

QueueInvoker::QueueInvoker() : FCreator(std::this_thread::get_id()) {
  FWindow = CreateMessageWindow([this](Message& m) {
    if (m.message == kRunPendingMessage) RunPending();
    DefaultWindowProc(m);
  });
}

QueueInvoker::~QueueInvoker() {
  Close();
  DestroyMessageWindow(FWindow);
}

bool QueueInvoker::Wake() { return PostMessageTo(FWindow, kRunPendingMessage, 0, 0); }

Invoker::WaitResult QueueInvoker::WaitServing(Event& ev, long ms) {
  MessageQueue& queue = MessageQueue::ForThisThread();
  Event* events[] = {&ev};
  for (;;) {
    const int r = queue.Wait(events, ms);
    if (r == 0) return WaitResult::Signalled;
    if (r == 1) {
      queue.DispatchAll();  // serves hand-overs; then the full time-out again
      continue;
    }
    return r == MessageQueue::kWaitTimeout ? WaitResult::TimedOut : WaitResult::Failed;
  }
}

Invoker::WaitResult QueueInvoker::ServeFor(Event& ev, long ms) {
  MessageQueue& queue = MessageQueue::ForThisThread();
  Event* events[] = {&ev};
  const std::uint32_t end = GetTickCount() + static_cast<std::uint32_t>(std::max(ms, 0L));
  for (;;) {
    const auto left = static_cast<std::int32_t>(end - GetTickCount());
    const int r = queue.Wait(events, std::max<std::int32_t>(left, 0));
    if (r == 0) return WaitResult::Signalled;
    if (r == 1) {
      queue.DispatchAll();
      if (left <= 0) return WaitResult::TimedOut;
      continue;
    }
    return r == MessageQueue::kWaitTimeout ? WaitResult::TimedOut : WaitResult::Failed;
  }
}


}  // namespace zp
