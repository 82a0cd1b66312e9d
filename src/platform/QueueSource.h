#pragma once
#include <poll.h>

#include <span>
#include <vector>

#include "platform/MessageQueue.h"

// Inside the POSIX platform only: what turns descriptors into messages on a thread's
// queue (the socket notifications).
namespace zp {

// Something owned by a thread whose descriptors turn into messages on that thread's
// queue when they become ready. Only the owning thread calls these, from inside its
// queue's waits and dispatches.
class QueueSource {
 public:
  virtual ~QueueSource() = default;
  // Appends the descriptors to watch now. Ask only for conditions that will produce a
  // message, or a wait would spin on a descriptor that stays ready.
  virtual void CollectFds(std::vector<pollfd>& fds) = 0;
  // Gets back exactly the entries it appended, with revents filled in.
  virtual void OnReady(std::span<const pollfd> fds) = 0;
};

void AddQueueSource(MessageQueue& queue, QueueSource* source);
void RemoveQueueSource(MessageQueue& queue, QueueSource* source);

}  // namespace zp
