#include "platform/MessageQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <stdexcept>

#include "platform/PollWait.h"

namespace zp {
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

MessageQueue::MessageQueue() {
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) throw std::runtime_error("eventfd failed");
}

MessageQueue::~MessageQueue() {
  {
    WindowRegistry& r = Registry();
    std::lock_guard lock(r.mu);
    for (const auto& [handle, proc] : windows_) r.owner.erase(handle);
  }
  close(wake_fd_);
}

void MessageQueue::Post(const Message& m) {
  bool was_empty;
  {
    std::lock_guard lock(mu_);
    was_empty = queue_.empty();
    queue_.push_back(m);
  }
  if (was_empty) {
    RaiseEventFd(wake_fd_);
  }
}

bool MessageQueue::HasMessages() {
  std::lock_guard lock(mu_);
  return !queue_.empty();
}

bool MessageQueue::PopFront(Message& m) {
  std::lock_guard lock(mu_);
  if (queue_.empty()) return false;
  m = queue_.front();
  queue_.pop_front();
  return true;
}

void MessageQueue::DrainWake() {
  std::uint64_t value;
  while (read(wake_fd_, &value, sizeof value) > 0) {
  }
}

void MessageQueue::PollSources(int timeout_ms) {
  if (sources_.empty()) return;
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts;
  for (QueueSource* s : sources_) {
    const std::size_t before = fds.size();
    s->CollectFds(fds);
    counts.push_back(fds.size() - before);
  }
  if (fds.empty()) return;
  int r;
  do {
    r = poll(fds.data(), fds.size(), timeout_ms);
  } while (r < 0 && errno == EINTR);
  if (r > 0) DeliverReady(fds, 0, counts);
}

void MessageQueue::DeliverReady(const std::vector<pollfd>& fds, std::size_t offset,
                                const std::vector<std::size_t>& counts) {
  // A source may remove itself (or another) while handling; walk a copy.
  const std::vector<QueueSource*> snapshot = sources_;
  for (std::size_t i = 0; i < snapshot.size() && i < counts.size(); ++i) {
    const std::span<const pollfd> slice(fds.data() + offset, counts[i]);
    offset += counts[i];
    if (std::find(sources_.begin(), sources_.end(), snapshot[i]) == sources_.end()) continue;
    if (std::any_of(slice.begin(), slice.end(), [](const pollfd& p) { return p.revents != 0; }))
      snapshot[i]->OnReady(slice);
  }
}

bool MessageQueue::DispatchOne() {
  if (!HasMessages()) PollSources(0);
  Message m;
  if (!PopFront(m)) return false;
  std::shared_ptr<WindowProc> proc;
  if (auto it = windows_.find(m.window); it != windows_.end()) proc = it->second;
  if (proc) (*proc)(m);
  return true;
}

void MessageQueue::DispatchAll() {
  while (DispatchOne()) {
  }
}

int MessageQueue::Wait(std::span<Event* const> events, long ms) {
  if (events.size() > kMaxWaitObjects) return kWaitFailed;
  const PollDeadline deadline(ms);
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts;
  for (;;) {
    fds.clear();
    counts.clear();
    fds.push_back({wake_fd_, POLLIN, 0});
    for (Event* e : events) fds.push_back({e->Fd(), POLLIN, 0});
    const std::size_t fixed = fds.size();
    for (QueueSource* s : sources_) {
      const std::size_t before = fds.size();
      s->CollectFds(fds);
      counts.push_back(fds.size() - before);
    }
    const int timeout = HasMessages() ? 0 : deadline.RemainingMs();
    int r;
    do {
      r = poll(fds.data(), fds.size(), timeout);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return kWaitFailed;

    for (std::size_t i = 0; i < events.size(); ++i) {
      if ((fds[1 + i].revents & POLLIN) && events[i]->TryClaim()) return static_cast<int>(i);
    }
    if (r > 0 && fds.size() > fixed) DeliverReady(fds, fixed, counts);
    if (fds[0].revents & POLLIN) DrainWake();
    if (HasMessages()) return static_cast<int>(events.size());
    if (deadline.RemainingMs() == 0) return kWaitTimeout;
  }
}

void MessageQueue::AddSource(QueueSource* source) {
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end())
    sources_.push_back(source);
}

void MessageQueue::RemoveSource(QueueSource* source) {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void MessageQueue::Purge(const std::function<bool(const Message&)>& pred) {
  std::lock_guard lock(mu_);
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(), pred), queue_.end());
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
  q.windows_[handle] = std::make_shared<WindowProc>(std::move(proc));
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
  q->windows_.erase(window);
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

void DefWindowProc(Message& m) { m.result = 0; }

}  // namespace zp
