#include "framework/TraceQueue.h"

#include <utility>

#include "platform/LocalTime.h"

namespace zp {

TraceQueue::TraceQueue(Deliver deliver, std::shared_ptr<Invoker> invoker)
    : FDeliver(std::move(deliver)), FInvoker(std::move(invoker)) {}

void TraceQueue::Push(std::string text) {
  const std::time_t stamp = ShownTimeNow();
  bool ask = false;
  std::size_t waiting = 0;
  {
    std::lock_guard lock(FLock);
    if (FDetached) return;
    FLines.push_back({stamp, std::move(text)});
    waiting = FLines.size();
    ask = !FDrainAsked;
    FDrainAsked = true;
  }
  if (ask) {
    std::weak_ptr<TraceQueue> self = weak_from_this();
    // A closed creator takes nothing more: its lines are dropped, as it asked.
    if (!FInvoker->Post([self] {
          if (auto queue = self.lock()) queue->Drain();
        })) {
      std::lock_guard lock(FLock);
      FLines.clear();
      FDrainAsked = false;
    }
  }
  // The creator is behind: wait for it rather than hold ever more lines.
  if (waiting >= kBacklog) FInvoker->RunAndWait([this] { Drain(); });
}

void TraceQueue::Drain() {
  std::vector<Line> lines;
  {
    std::lock_guard lock(FLock);
    if (FDetached) return;
    lines.swap(FLines);
    FDrainAsked = false;
  }
  for (const Line& line : lines) {
    if (FDetached) return;  // the creator detaches only on its own thread, maybe from a line's handler
    if (FDeliver) FDeliver(line.stamp, line.text);
  }
}

void TraceQueue::Detach() {
  std::lock_guard lock(FLock);
  FDetached = true;
  FLines.clear();
}

}  // namespace zp
