#include "platform/HandOverQueue.h"

#include <algorithm>

namespace zp {

struct HandOverQueue::Call {
  enum class State { Pending, Running, Done };
  std::function<void()> fn;
  State state = State::Pending;
};

bool HandOverQueue::SubmitAndWait(const std::function<void()>& fn, const std::function<bool()>& wake) {
  auto call = std::make_shared<Call>();
  call->fn = fn;
  std::unique_lock lock(mu_);
  if (closed_) return false;
  pending_.push_back(call);
  lock.unlock();
  const bool woken = wake();
  lock.lock();
  if (!woken && call->state == Call::State::Pending) {
    std::erase(pending_, call);
    return false;
  }
  done_.wait(lock, [&] {
    return call->state == Call::State::Done || (closed_ && call->state == Call::State::Pending);
  });
  if (call->state != Call::State::Done) std::erase(pending_, call);
  return call->state == Call::State::Done;
}

void HandOverQueue::RunPending(const std::function<void(const std::function<void()>&)>& run) {
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(mu_);
      if (pending_.empty() || closed_) return;
      call = pending_.front();
      pending_.pop_front();
      call->state = Call::State::Running;
    }
    run(call->fn);
    {
      std::lock_guard lock(mu_);
      call->state = Call::State::Done;
    }
    done_.notify_all();
  }
}

void HandOverQueue::Close() {
  {
    std::lock_guard lock(mu_);
    closed_ = true;
    pending_.clear();
  }
  done_.notify_all();
}

bool HandOverQueue::IsClosed() const {
  std::lock_guard lock(mu_);
  return closed_;
}

}  // namespace zp
