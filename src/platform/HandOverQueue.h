#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace zp {

// The calls worker threads hand to their creator's thread and wait for: any thread
// submits, the creator runs them in order. Close releases every caller whose call has
// not started; a call already running is still waited for, since it may be reading the
// caller's data. The mechanism both hand-over implementations (message queue, Qt) share.
class HandOverQueue {
 public:
  // Queues `fn`, calls `wake` (outside the lock) so the creator will run it, and waits.
  // True when it ran; false when the queue was or became closed first, or `wake`
  // reported that the creator cannot be reached.
  bool SubmitAndWait(const std::function<void()>& fn, const std::function<bool()>& wake);
  // Queues `fn` without waiting for it and calls `wake`; it runs in order with the calls
  // waited for. False when the queue is or becomes closed first (it will never run).
  bool Post(std::function<void()> fn, const std::function<bool()>& wake);
  // On the creator's thread: runs every queued call in order, each through `run`.
  void RunPending(const std::function<void(const std::function<void()>&)>& run);
  void Close();
  bool IsClosed() const;

  // Runs one hand-over, reporting on standard error and swallowing what it throws: a
  // worker waits for it, or no one would hear of it.
  static void RunGuarded(const std::function<void()>& fn);

 private:
  struct Call;
  mutable std::mutex FLock;
  std::condition_variable FDone;
  bool FClosed = false;
  std::deque<std::shared_ptr<Call>> FPending;
};

}  // namespace zp
