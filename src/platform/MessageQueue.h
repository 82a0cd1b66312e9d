#pragma once
#include <poll.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/Event.h"

namespace zp {

// A message handler registered on one thread's queue: the stand-in for a hidden window.
// 0 is never a valid handle.
using WindowHandle = std::uint32_t;

struct Message {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  std::intptr_t result = 0;
};

using WindowProc = std::function<void(Message&)>;

// Something owned by a thread whose descriptors turn into messages on that thread's
// queue when they become ready (the socket notifications). Only the owning thread
// calls these, from inside its queue's waits and dispatches.
class QueueSource {
 public:
  virtual ~QueueSource() = default;
  // Appends the descriptors to watch now. Ask only for conditions that will produce a
  // message, or a wait would spin on a descriptor that stays ready.
  virtual void CollectFds(std::vector<pollfd>& fds) = 0;
  // Gets back exactly the entries it appended, with revents filled in.
  virtual void OnReady(std::span<const pollfd> fds) = 0;
};

// The per-thread message queue. Post may be called from any thread; everything else
// only from the owning thread.
class MessageQueue {
 public:
  static constexpr int kWaitTimeout = -1;
  static constexpr int kWaitFailed = -2;
  static constexpr std::size_t kMaxWaitObjects = 64;

  // The calling thread's queue, made on first use and destroyed when the thread ends.
  static MessageQueue& ForThisThread();

  ~MessageQueue();
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  void Post(const Message& m);
  // Takes one message (after turning ready sources into messages) and dispatches it.
  // False when nothing was waiting.
  bool DispatchOne();
  void DispatchAll();
  bool HasMessages();

  // Waits for any of up to 64 events, any input to the queue, or `ms` tick
  // milliseconds (negative: no limit). Returns the index of the signalled event (the
  // lowest one when several are), events.size() for input, or kWaitTimeout /
  // kWaitFailed. An auto-reset event whose index is returned has been consumed.
  int Wait(std::span<Event* const> events, long ms);

  void AddSource(QueueSource* source);
  void RemoveSource(QueueSource* source);

  // Drops queued messages that `pred` selects (used when a notification is cancelled).
  void Purge(const std::function<bool(const Message&)>& pred);

 private:
  friend WindowHandle CreateMessageWindow(WindowProc proc);
  friend void DestroyMessageWindow(WindowHandle window);
  MessageQueue();

  bool PopFront(Message& m);
  void PollSources(int timeout_ms);
  void DeliverReady(const std::vector<pollfd>& fds, std::size_t offset,
                    const std::vector<std::size_t>& counts);
  void DrainWake();

  int wake_fd_ = -1;
  std::mutex mu_;  // guards queue_ only; Post comes from any thread
  std::deque<Message> queue_;
  std::vector<QueueSource*> sources_;
  std::unordered_map<WindowHandle, std::shared_ptr<WindowProc>> windows_;
};

// Registers `proc` on the calling thread's queue.
WindowHandle CreateMessageWindow(WindowProc proc);
// Must be called on the owning thread; drops the window's queued messages.
void DestroyMessageWindow(WindowHandle window);
// From any thread. False when the window does not exist (any more).
bool PostMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                   std::intptr_t lparam);
// The platform's default handling: nothing, result 0.
void DefWindowProc(Message& m);

}  // namespace zp
