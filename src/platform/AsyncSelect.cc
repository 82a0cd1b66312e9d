#include "platform/AsyncSelect.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/QueueSource.h"
#include "platform/SocketWatch.h"

namespace zp {
namespace {

class SelectSource;

// What is known about one socket: its request and which notifications may be posted.
struct Watch {
  SelectSource* owner = nullptr;  // the selecting thread's source; null when not selected
  WindowHandle window = 0;
  std::uint32_t message = 0;
  long mask = 0;
  bool connected = false;
  bool read_armed = false;
  bool write_armed = false;
  bool close_posted = false;
  bool eof = false;   // the peer will send nothing more
  bool hup = false;   // the connection is gone both ways
  bool gone = false;  // the descriptor was closed behind our back
  int error = 0;      // the code of a notified break; outlives a new select
};

struct WatchTable {
  std::mutex FLock;
  std::unordered_map<SOCKET, Watch> FWatches;
  // Lets the socket calls skip the lock while nothing is known about any socket.
  std::atomic<std::size_t> FSize{0};
};

WatchTable& Table() {
  static WatchTable* table = new WatchTable;  // outlives every thread's source
  return *table;
}

int Fd(SOCKET s) { return static_cast<int>(s); }

// Bytes waiting to be read; 0 at the end of the stream or when the socket is broken.
int Available(SOCKET s) {
  int n = 0;
  if (ioctl(Fd(s), FIONREAD, &n) == 0) return n > 0 ? n : 0;
  char byte;
  return recv(Fd(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0 ? 1 : 0;
}

// One per thread that has selected a socket: turns readiness into notifications while
// that thread's queue waits or dispatches.
class SelectSource final : public QueueSource {
 public:
  SelectSource() : FQueue(MessageQueue::ForThisThread()) { AddQueueSource(FQueue, this); }
  ~SelectSource() override;
  SelectSource(const SelectSource&) = delete;
  SelectSource& operator=(const SelectSource&) = delete;

  void CollectFds(std::vector<pollfd>& fds) override;
  void OnReady(std::span<const pollfd> fds) override;

  MessageQueue& Queue() { return FQueue; }
  // Guarded by the table's lock.
  std::vector<SOCKET> sockets;

 private:
  MessageQueue& FQueue;  // constructed before this source, so it is destroyed after
};

SelectSource& ThisThreadSource() {
  thread_local SelectSource source;
  return source;
}

void PurgeQueued(SOCKET s, const Watch& w) {
  if (w.owner == nullptr) return;
  const WindowHandle window = w.window;
  const std::uint32_t message = w.message;
  w.owner->Queue().Purge([=](const Message& m) {
    return m.window == window && m.message == message && m.wparam == s;
  });
}

void Unwatch(SOCKET s, Watch& w) {
  if (w.owner == nullptr) return;
  auto& list = w.owner->sockets;
  list.erase(std::remove(list.begin(), list.end(), s), list.end());
  w.owner = nullptr;
}

short EventsFor(const Watch& w) {
  if (w.owner == nullptr || w.mask == 0 || !w.connected || w.gone) return 0;
  short events = 0;
  if ((w.mask & FD_READ) && w.read_armed) events |= POLLIN;
  if ((w.mask & FD_WRITE) && w.write_armed && !w.hup) events |= POLLOUT;
  if ((w.mask & FD_CLOSE) && !w.close_posted && !w.eof) events |= POLLRDHUP;
  return events;
}

void Notify(SOCKET s, const Watch& w, long event, int error) {
  PostMessageTo(w.window, w.message, s, WSAMAKESELECTREPLY(static_cast<int>(event), error));
}

// Every condition polled for is either posted or disarmed here, so a socket that
// stays ready (end of stream, a broken connection) cannot make the next wait spin.
void Handle(SOCKET s, Watch& w, short revents) {
  if (revents & POLLNVAL) {
    w.gone = true;
    return;
  }
  if (revents & POLLERR) {
    int err = 0;
    socklen_t len = sizeof err;
    // Reading the error clears it; WsRecv reports it again from the watch.
    if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err != 0)
      w.error = WsaErrorFromErrno(err);
  }
  if (revents & (POLLRDHUP | POLLERR | POLLHUP)) w.eof = true;
  if (revents & (POLLERR | POLLHUP)) w.hup = true;

  int available = -1;
  if ((w.mask & FD_READ) && w.read_armed && (revents & (POLLIN | POLLRDHUP | POLLERR | POLLHUP))) {
    w.read_armed = false;
    available = Available(s);
    if (available > 0)
      Notify(s, w, FD_READ, 0);
    else
      w.eof = true;  // readable with nothing to read: the end of the stream
  }
  if ((w.mask & FD_WRITE) && w.write_armed && (revents & (POLLOUT | POLLERR | POLLHUP))) {
    w.write_armed = false;
    if (!w.hup) Notify(s, w, FD_WRITE, 0);
  }
  if ((w.mask & FD_CLOSE) && w.eof && !w.close_posted) {
    // A graceful close waits until the reader has taken what is left, as it would see
    // the data lost otherwise; a broken connection is reported at once.
    bool post = w.error != 0 || !(w.mask & FD_READ);
    if (!post) {
      if (available < 0) available = Available(s);
      post = available == 0;
    }
    if (post) {
      w.close_posted = true;
      Notify(s, w, FD_CLOSE, w.error);
    }
  }
}

SelectSource::~SelectSource() {
  {
    WatchTable& t = Table();
    std::lock_guard lock(t.FLock);
    for (SOCKET s : sockets) {
      auto it = t.FWatches.find(s);
      if (it == t.FWatches.end() || it->second.owner != this) continue;
      it->second.owner = nullptr;
      it->second.mask = 0;
    }
    sockets.clear();
  }
  RemoveQueueSource(FQueue, this);
}

void SelectSource::CollectFds(std::vector<pollfd>& fds) {
  WatchTable& t = Table();
  std::lock_guard lock(t.FLock);
  for (SOCKET s : sockets) {
    auto it = t.FWatches.find(s);
    if (it == t.FWatches.end() || it->second.owner != this) continue;
    const short events = EventsFor(it->second);
    if (events != 0) fds.push_back({Fd(s), events, 0});
  }
}

void SelectSource::OnReady(std::span<const pollfd> fds) {
  WatchTable& t = Table();
  // Posting under the lock keeps a cancel on another thread from being overtaken by a
  // notification decided before it.
  std::lock_guard lock(t.FLock);
  for (const pollfd& p : fds) {
    if (p.revents == 0) continue;
    const SOCKET s = static_cast<SOCKET>(p.fd);
    auto it = t.FWatches.find(s);
    if (it == t.FWatches.end() || it->second.owner != this || it->second.mask == 0) continue;
    Handle(s, it->second, p.revents);
  }
}

bool IsConnected(SOCKET s) {
  sockaddr_storage peer{};
  socklen_t len = sizeof peer;
  return getpeername(Fd(s), reinterpret_cast<sockaddr*>(&peer), &len) == 0;
}

}  // namespace

int WSAAsyncSelect(SOCKET s, WindowHandle window, std::uint32_t message, long events) {
  int type = 0;
  socklen_t len = sizeof type;
  if (s > static_cast<SOCKET>(INT32_MAX) ||
      getsockopt(Fd(s), SOL_SOCKET, SO_TYPE, &type, &len) != 0) {
    WSASetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  if ((events & ~(FD_READ | FD_WRITE | FD_CLOSE)) != 0 || (events != 0 && window == 0)) {
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  const int flags = fcntl(Fd(s), F_GETFL);
  if (flags < 0 || (!(flags & O_NONBLOCK) && fcntl(Fd(s), F_SETFL, flags | O_NONBLOCK) != 0)) {
    WSASetLastError(WsaErrorFromErrno(errno));
    return SOCKET_ERROR;
  }
  SelectSource* source = events != 0 ? &ThisThreadSource() : nullptr;
  const bool connected = events != 0 && IsConnected(s);

  WatchTable& t = Table();
  std::lock_guard lock(t.FLock);
  auto [it, added] = t.FWatches.try_emplace(s);
  if (added) t.FSize.fetch_add(1);
  Watch& w = it->second;
  if (events == 0) {
    PurgeQueued(s, w);
    Unwatch(s, w);
    w.mask = 0;
    return 0;
  }
  if (w.owner != source) {
    Unwatch(s, w);
    source->sockets.push_back(s);
    w.owner = source;
  }
  w.window = window;
  w.message = message;
  w.mask = events;
  w.connected = w.connected || connected;
  // A new select reports the socket's present state afresh.
  w.read_armed = true;
  w.write_armed = true;
  w.close_posted = false;
  w.eof = false;
  w.hup = false;
  w.gone = false;
  return 0;
}

namespace socket_watch {

void Forget(SOCKET s) {
  WatchTable& t = Table();
  if (t.FSize.load() == 0) return;
  std::lock_guard lock(t.FLock);
  auto it = t.FWatches.find(s);
  if (it == t.FWatches.end()) return;
  PurgeQueued(s, it->second);
  Unwatch(s, it->second);
  t.FWatches.erase(it);
  t.FSize.fetch_sub(1);
}

void Connected(SOCKET s) {
  WatchTable& t = Table();
  std::lock_guard lock(t.FLock);
  auto [it, added] = t.FWatches.try_emplace(s);
  if (added) t.FSize.fetch_add(1);
  it->second.connected = true;
}

int Received(SOCKET s, bool end_of_stream) {
  WatchTable& t = Table();
  if (t.FSize.load() == 0) return 0;
  std::lock_guard lock(t.FLock);
  auto it = t.FWatches.find(s);
  if (it == t.FWatches.end()) return 0;
  it->second.read_armed = true;
  return end_of_stream ? it->second.error : 0;
}

void SendWouldBlock(SOCKET s) {
  WatchTable& t = Table();
  if (t.FSize.load() == 0) return;
  std::lock_guard lock(t.FLock);
  auto it = t.FWatches.find(s);
  if (it != t.FWatches.end()) it->second.write_armed = true;
}

}  // namespace socket_watch
}  // namespace zp
