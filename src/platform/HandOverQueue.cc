#include "platform/HandOverQueue.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace zp {

struct HandOverQueue::Call {
  enum class State { Pending, Running, Done };
  std::function<void()> fn;
  State state = State::Pending;
};

bool HandOverQueue::SubmitAndWait(const std::function<void()>& fn, const std::function<bool()>& wake) {
  auto call = std::make_shared<Call>();
  call->fn = fn;
  std::unique_lock lock(FLock);
  if (FClosed) return false;
  FPending.push_back(call);
  lock.unlock();
  const bool woken = wake();
  lock.lock();
  if (!woken && call->state == Call::State::Pending) {
    std::erase(FPending, call);
    return false;
  }
  FDone.wait(lock, [&] {
    return call->state == Call::State::Done || (FClosed && call->state == Call::State::Pending);
  });
  if (call->state != Call::State::Done) std::erase(FPending, call);
  return call->state == Call::State::Done;
}

bool HandOverQueue::Post(std::function<void()> fn, const std::function<bool()>& wake) {
  auto call = std::make_shared<Call>();
  call->fn = std::move(fn);
  {
    std::lock_guard lock(FLock);
    if (FClosed) return false;
    FPending.push_back(call);
  }
  if (wake()) return true;
  std::lock_guard lock(FLock);
  std::erase(FPending, call);
  return false;
}

void HandOverQueue::RunGuarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hand-over failed: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "hand-over failed\n");
  }
}

void HandOverQueue::RunPending(const std::function<void(const std::function<void()>&)>& run) {
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(FLock);
      if (FPending.empty() || FClosed) return;
      call = FPending.front();
      FPending.pop_front();
      call->state = Call::State::Running;
    }
    run(call->fn);
    {
      std::lock_guard lock(FLock);
      call->state = Call::State::Done;
    }
    FDone.notify_all();
  }
}

void HandOverQueue::Close() {
  {
    std::lock_guard lock(FLock);
    FClosed = true;
    FPending.clear();
  }
  FDone.notify_all();
}

bool HandOverQueue::IsClosed() const {
  std::lock_guard lock(FLock);
  return FClosed;
}

}  // namespace zp
