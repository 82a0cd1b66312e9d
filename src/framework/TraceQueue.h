#pragma once
#include <cstddef>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Invoker.h"

namespace zp {

// The lines a worker traces, on their way to the thread that created it. The worker
// queues a line and goes on; the creator receives the queued lines in order, many at a
// time, from one hand-over it is asked for when a line finds the queue empty. Each line
// carries the moment it was queued, so that its time says when the worker traced it,
// however late the creator takes it. A creator
// that falls behind holds the worker up: past kBacklog waiting lines the worker waits
// until they are delivered, so the queue never grows without bound.
//
// Shared by the worker and the hand-overs it posts, so that a hand-over still waiting on
// the creator after the worker has gone finds the queue, which Detach has silenced.
class TraceQueue : public std::enable_shared_from_this<TraceQueue> {
 public:
  // `stamp`: when the worker queued the line (ShownTimeNow).
  using Deliver = std::function<void(std::time_t stamp, const std::string& text)>;

  static constexpr std::size_t kBacklog = 4096;

  TraceQueue(Deliver deliver, std::shared_ptr<Invoker> invoker);

  // Worker side: queues `text`, stamped now. Lines queued once the creator's invoker is
  // closed are not delivered.
  void Push(std::string text);

  // Creator side: delivers every line queued so far, in order.
  void Drain();
  // Creator side: nothing is delivered from now on.
  void Detach();

 private:
  Deliver FDeliver;
  std::shared_ptr<Invoker> FInvoker;
  std::mutex FLock;
  struct Line {
    std::time_t stamp;
    std::string text;
  };
  std::vector<Line> FLines;
  bool FDrainAsked = false;  // a hand-over to drain is on its way
  bool FDetached = false;
};

}  // namespace zp
