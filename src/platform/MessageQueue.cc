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
  int FWakeFd = -1;
  std::mutex FLock;  // guards FQueue only; Post comes from any thread
  std::deque<Message> FQueue;
  std::vector<QueueSource*> FSources;
  std::unordered_map<WindowHandle, std::shared_ptr<WindowProc>> FWindows;

  bool PopFront(Message& m);
  // Delivers what the sources have ready now, without waiting.
  void PollSources();
  void DeliverReady(const std::vector<pollfd>& fds, std::size_t offset,
                    const std::vector<std::size_t>& counts);
  void DrainWake();
  bool HasMessages() {
    std::lock_guard lock(FLock);
    return !FQueue.empty();
  }
};

namespace {

// Which queue owns each window, so that any thread can post to it.
struct WindowRegistry {
  std::mutex FLock;
  std::unordered_map<WindowHandle, MessageQueue*> FOwner;
  WindowHandle FNext = 1;
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

MessageQueue::MessageQueue() : FInternals(std::make_unique<Internals>()) {
  FInternals->FWakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (FInternals->FWakeFd < 0) throw std::runtime_error("eventfd failed");
}

MessageQueue::~MessageQueue() {
  {
    WindowRegistry& r = Registry();
    std::lock_guard lock(r.FLock);
    for (const auto& [handle, proc] : FInternals->FWindows) r.FOwner.erase(handle);
  }
  close(FInternals->FWakeFd);
}

void MessageQueue::Post(const Message& m) {
  bool was_empty;
  {
    std::lock_guard lock(FInternals->FLock);
    was_empty = FInternals->FQueue.empty();
    FInternals->FQueue.push_back(m);
  }
  if (was_empty) {
    RaiseEventFd(FInternals->FWakeFd);
  }
}

bool MessageQueue::HasMessages() { return FInternals->HasMessages(); }

bool MessageQueue::Internals::PopFront(Message& m) {
  std::lock_guard lock(FLock);
  if (FQueue.empty()) return false;
  m = FQueue.front();
  FQueue.pop_front();
  return true;
}

void MessageQueue::Internals::DrainWake() {
  std::uint64_t value;
  while (read(FWakeFd, &value, sizeof value) > 0) {
  }
}

void MessageQueue::Internals::PollSources() {
  if (FSources.empty()) return;
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts;
  for (QueueSource* s : FSources) {
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
  const std::vector<QueueSource*> snapshot = FSources;
  for (std::size_t i = 0; i < snapshot.size() && i < counts.size(); ++i) {
    const std::span<const pollfd> slice(fds.data() + offset, counts[i]);
    offset += counts[i];
    if (std::find(FSources.begin(), FSources.end(), snapshot[i]) == FSources.end()) continue;
    if (std::any_of(slice.begin(), slice.end(), [](const pollfd& p) { return p.revents != 0; }))
      snapshot[i]->OnReady(slice);
  }
}

bool MessageQueue::DispatchOne() {
  Internals& st = *FInternals;
  if (!st.HasMessages()) st.PollSources();
  Message m;
  if (!st.PopFront(m)) return false;
  std::shared_ptr<WindowProc> proc;
  if (auto it = st.FWindows.find(m.window); it != st.FWindows.end()) proc = it->second;
  if (proc) (*proc)(m);
  return true;
}

void MessageQueue::DispatchAll() {
  while (DispatchOne()) {
  }
}

int MessageQueue::Wait(std::span<Event* const> events, long ms) {
  if (events.size() > kMaxWaitObjects) return kWaitFailed;
  Internals& st = *FInternals;
  const PollDeadline deadline(ms);
  std::vector<pollfd> fds;
  std::vector<std::size_t> counts;
  for (;;) {
    fds.clear();
    counts.clear();
    fds.push_back({st.FWakeFd, POLLIN, 0});
    for (Event* e : events) fds.push_back({static_cast<int>(e->NativeHandle()), POLLIN, 0});
    const std::size_t fixed = fds.size();
    for (QueueSource* s : st.FSources) {
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
  auto& sources = queue.State().FSources;
  if (std::find(sources.begin(), sources.end(), source) == sources.end()) sources.push_back(source);
}

void RemoveQueueSource(MessageQueue& queue, QueueSource* source) {
  auto& sources = queue.State().FSources;
  sources.erase(std::remove(sources.begin(), sources.end(), source), sources.end());
}

void MessageQueue::Purge(const std::function<bool(const Message&)>& pred) {
  std::lock_guard lock(FInternals->FLock);
  auto& q = FInternals->FQueue;
  q.erase(std::remove_if(q.begin(), q.end(), pred), q.end());
}

WindowHandle CreateMessageWindow(WindowProc proc) {
  MessageQueue& q = MessageQueue::ForThisThread();
  WindowRegistry& r = Registry();
  WindowHandle handle;
  {
    std::lock_guard lock(r.FLock);
    do {
      handle = r.FNext++;
    } while (handle == 0 || r.FOwner.count(handle));
    r.FOwner[handle] = &q;
  }
  q.State().FWindows[handle] = std::make_shared<WindowProc>(std::move(proc));
  return handle;
}

void DestroyMessageWindow(WindowHandle window) {
  MessageQueue* q = nullptr;
  {
    WindowRegistry& r = Registry();
    std::lock_guard lock(r.FLock);
    auto it = r.FOwner.find(window);
    if (it == r.FOwner.end()) return;
    q = it->second;
    r.FOwner.erase(it);
  }
  q->State().FWindows.erase(window);
  q->Purge([window](const Message& m) { return m.window == window; });
}

bool PostMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                   std::intptr_t lparam) {
  WindowRegistry& r = Registry();
  std::lock_guard lock(r.FLock);  // held so the queue cannot be destroyed under us
  auto it = r.FOwner.find(window);
  if (it == r.FOwner.end()) return false;
  it->second->Post(Message{window, message, wparam, lparam, 0});
  return true;
}

void DefaultWindowProc(Message& m) { m.result = 0; }

}  // namespace zp
