#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/Event.h"

namespace zp {

// A message handler registered on one thread's queue: a hidden message-only window on
// Windows, a stand-in for one elsewhere. 0 is never a valid handle.
using WindowHandle = std::uintptr_t;

struct Message {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wparam = 0;
  std::intptr_t lparam = 0;
  std::intptr_t result = 0;
};

using WindowProc = std::function<void(Message&)>;

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

  // Drops queued messages that `pred` selects (used when a notification is cancelled).
  void Purge(const std::function<bool(const Message&)>& pred);

  // What the system's implementation keeps; its own files reach it through State().
  struct Internals;
  Internals& State() { return *FInternals; }

 private:
  MessageQueue();
  std::unique_ptr<Internals> FInternals;
};

// Registers `proc` on the calling thread's queue.
WindowHandle CreateMessageWindow(WindowProc proc);
// Must be called on the owning thread; drops the window's queued messages.
void DestroyMessageWindow(WindowHandle window);
// From any thread. False when the window does not exist (any more).
bool PostMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                   std::intptr_t lparam);
// The system's default handling of a message the handler does not take.
void DefaultWindowProc(Message& m);

}  // namespace zp
