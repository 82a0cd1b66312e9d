#include "platform/Invoker.h"

namespace zp {

namespace {
constexpr std::uint32_t kRunPendingMessage = 0x8001;  // private to the invoker's window
}

struct QueueInvoker::Call {
  enum class State { Pending, Running, Done };
  std::function<void()> fn;
  State state = State::Pending;
};

QueueInvoker::QueueInvoker() : creator_(std::this_thread::get_id()) {
  window_ = CreateMessageWindow([this](Message& m) {
    if (m.message == kRunPendingMessage) RunPending();
    DefWindowProc(m);
  });
}

QueueInvoker::~QueueInvoker() {
  Close();
  DestroyMessageWindow(window_);
}

bool QueueInvoker::RunAndWait(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == creator_) {
    if (IsClosed()) return false;
    fn();
    return true;
  }
  auto call = std::make_shared<Call>();
  call->fn = fn;
  std::unique_lock lock(mu_);
  if (closed_) return false;
  pending_.push_back(call);
  lock.unlock();
  if (!PostMessageTo(window_, kRunPendingMessage, 0, 0)) {
    lock.lock();
    std::erase(pending_, call);
    return false;
  }
  lock.lock();
  // A call already running on the creator is waited for even after Close: it may
  // still be reading the caller's data.
  cv_.wait(lock, [&] {
    return call->state == Call::State::Done || (closed_ && call->state == Call::State::Pending);
  });
  if (call->state != Call::State::Done) std::erase(pending_, call);
  return call->state == Call::State::Done;
}

void QueueInvoker::RunPending() {
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(mu_);
      if (pending_.empty() || closed_) return;
      call = pending_.front();
      pending_.pop_front();
      call->state = Call::State::Running;
    }
    call->fn();
    {
      std::lock_guard lock(mu_);
      call->state = Call::State::Done;
    }
    cv_.notify_all();
  }
}

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

void QueueInvoker::Close() {
  {
    std::lock_guard lock(mu_);
    closed_ = true;
    pending_.clear();
  }
  cv_.notify_all();
}

bool QueueInvoker::IsClosed() const {
  std::lock_guard lock(mu_);
  return closed_;
}

}  // namespace zp
