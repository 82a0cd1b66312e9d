#include "platform/MessageQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "platform/PollWait.h"
#include "platform/QueueSource.h"

namespace zp {

// The queue itself, its wake-up descriptor, the sources that feed it and the windows
// it dispatches to.
struct MessageQueue::Internals {
  int wake_fd = -1;
  std::mutex mu;  // guards queue only; Post comes from any thread
  std::deque<Message> queue;
  std::vector<QueueSource*> sources;
  std::unordered_map<WindowHandle, std::shared_ptr<WindowProc>> windows;

  bool PopFront(Message& m);
  // Delivers what the sources have ready now, without waiting.
  void PollSources();
  void DeliverReady(const std::vector<pollfd>& fds, std::size_t offset,
                    const std::vector<std::size_t>& counts);
  void DrainWake();
  bool HasMessages() {
    std::lock_guard lock(mu);
    return !queue.empty();
  }
};

namespace {

// Which queue owns each window, so that any thread can post to it.
struct WindowRegistry {
  std::mutex mu;
  std::unordered_map<WindowHandle, MessageQueue*> owner;
  WindowHandle next = 1;
};

WindowRegistry& Registry() {
  static WindowRegistry* registry = new WindowRegistry;  // outlives every thread's queue
  return *registry;
}

}  // namespace

MessageQueue& MessageQueue::ForThisThread() {
  thread_local std::unique_ptr<MessageQueue> queue(new MessageQueue);
  return *queue;
}

MessageQueue::MessageQueue() : state_(std::make_unique<Internals>()) {
  state_->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (state_->wake_fd < 0) throw std::runtime_error("eventfd failed");
}

MessageQueue::~MessageQueue() {
  {
    WindowRegistry& r = Registry();
    std::lock_guard lock(r.mu);
    for (const auto& [handle, proc] : state_->windows) r.owner.erase(handle);
  }
  close(state_->wake_fd);
}

void MessageQueue::Post(const Message& m) {
  bool was_empty;
  {
    std::lock_guard lock(state_->mu);
    was_empty = state_->queue.empty();
    state_->queue.push_back(m);
  }
  if (was_empty) {
    RaiseEventFd(state_->wake_fd);
  }
}

bool MessageQueue::HasMessages() { return state_->HasMessages(); }

bool MessageQueue::Internals::PopFront(Message& m) {
  std::lock_guard lock(mu);
  if (queue.empty()) return false;
  m = queue.front();
  queue.pop_front();
  return true;
}

void MessageQueue::Internals::DrainWake() {
  std::uint64_t value;
  while (read(wake_fd, &value, sizeof value) > 0) {
  }
}

void MessageQueue::Internals::PollSources() {
  if (sources.empty()) return;
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts;
  for (QueueSource* s : sources) {
    const std::size_t before = fds.size();
    s->CollectFds(fds);
    counts.push_back(fds.size() - before);
  }
  if (fds.empty()) return;
  if (PollWithDeadline(fds.data(), fds.size(), PollDeadline(0)) > 0) DeliverReady(fds, 0, counts);
}

void MessageQueue::Internals::DeliverReady(const std::vector<pollfd>& fds, std::size_t offset,
                                           const std::vector<std::size_t>& counts) {
  // A source may remove itself (or another) while handling; walk a copy.
  const std::vector<QueueSource*> snapshot = sources;
  for (std::size_t i = 0; i < snapshot.size() && i < counts.size(); ++i) {
    const std::span<const pollfd> slice(fds.data() + offset, counts[i]);
    offset += counts[i];
    if (std::find(sources.begin(), sources.end(), snapshot[i]) == sources.end()) continue;
    if (std::any_of(slice.begin(), slice.end(), [](const pollfd& p) { return p.revents != 0; }))
      snapshot[i]->OnReady(slice);
  }
}

bool MessageQueue::DispatchOne() {
  Internals& st = *state_;
  if (!st.HasMessages()) st.PollSources();
  Message m;
  if (!st.PopFront(m)) return false;
  std::shared_ptr<WindowProc> proc;
  if (auto it = st.windows.find(m.window); it != st.windows.end()) proc = it->second;
  if (proc) (*proc)(m);
  return true;
}

void MessageQueue::DispatchAll() {
  while (DispatchOne()) {
  }
}

int MessageQueue::Wait(std::span<Event* const> events, long ms) {
  if (events.size() > kMaxWaitObjects) return kWaitFailed;
  Internals& st = *state_;
  const PollDeadline deadline(ms);
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts;
  for (;;) {
    fds.clear();
    counts.clear();
    fds.push_back({st.wake_fd, POLLIN, 0});
    for (Event* e : events) fds.push_back({static_cast<int>(e->NativeHandle()), POLLIN, 0});
    const std::size_t fixed = fds.size();
    for (QueueSource* s : st.sources) {
      const std::size_t before = fds.size();
      s->CollectFds(fds);
      counts.push_back(fds.size() - before);
    }
    // A queued message ends the wait at once; otherwise only the time still left is
    // waited, also after a signal interrupted the poll.
    const int r = PollWithDeadline(fds.data(), fds.size(), HasMessages() ? PollDeadline(0) : deadline);
    if (r < 0) return kWaitFailed;

    for (std::size_t i = 0; i < events.size(); ++i) {
      if ((fds[1 + i].revents & POLLIN) && events[i]->TryClaim()) return static_cast<int>(i);
    }
    if (r > 0 && fds.size() > fixed) st.DeliverReady(fds, fixed, counts);
    if (fds[0].revents & POLLIN) st.DrainWake();
    if (HasMessages()) return static_cast<int>(events.size());
    if (deadline.RemainingMs() == 0) return kWaitTimeout;
  }
}

void AddQueueSource(MessageQueue& queue, QueueSource* source) {
  auto& sources = queue.State().sources;
  if (std::find(sources.begin(), sources.end(), source) == sources.end()) sources.push_back(source);
}

void RemoveQueueSource(MessageQueue& queue, QueueSource* source) {
  auto& sources = queue.State().sources;
  sources.erase(std::remove(sources.begin(), sources.end(), source), sources.end());
}

void MessageQueue::Purge(const std::function<bool(const Message&)>& pred) {
  std::lock_guard lock(state_->mu);
  auto& q = state_->queue;
  q.erase(std::remove_if(q.begin(), q.end(), pred), q.end());
}

WindowHandle CreateMessageWindow(WindowProc proc) {
  MessageQueue& q = MessageQueue::ForThisThread();
  WindowRegistry& r = Registry();
  WindowHandle handle;
  {
    std::lock_guard lock(r.mu);
    do {
      handle = r.next++;
    } while (handle == 0 || r.owner.count(handle));
    r.owner[handle] = &q;
  }
  q.State().windows[handle] = std::make_shared<WindowProc>(std::move(proc));
  return handle;
}

void DestroyMessageWindow(WindowHandle window) {
  MessageQueue* q = nullptr;
  {
    WindowRegistry& r = Registry();
    std::lock_guard lock(r.mu);
    auto it = r.owner.find(window);
    if (it == r.owner.end()) return;
    q = it->second;
    r.owner.erase(it);
  }
  q->State().windows.erase(window);
  q->Purge([window](const Message& m) { return m.window == window; });
}

bool PostMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                   std::intptr_t lparam) {
  WindowRegistry& r = Registry();
  std::lock_guard lock(r.mu);  // held so the queue cannot be destroyed under us
  auto it = r.owner.find(window);
  if (it == r.owner.end()) return false;
  it->second->Post(Message{window, message, wparam, lparam, 0});
  return true;
}

void DefaultWindowProc(Message& m) { m.result = 0; }

}  // namespace zp
