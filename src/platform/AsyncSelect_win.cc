#include "platform/AsyncSelect.h"

#include <mutex>
#include <unordered_map>

// The system's own notifications. What is kept here is each socket's last request, so
// that a cancel can drop the notifications it already queued, as the contract promises.
namespace zp {
namespace {

struct Request {
  WindowHandle window = 0;
  std::uint32_t message = 0;
};

struct Requests {
  std::mutex FLock;
  std::unordered_map<SOCKET, Request> FBySocket;
};

Requests& Table() {
  static Requests* table = new Requests;  // used until the last thread ends
  return *table;
}

}  // namespace

int WSAAsyncSelect(SOCKET s, WindowHandle window, std::uint32_t message, long events) {
  if ((events & ~(FD_READ | FD_WRITE | FD_CLOSE)) != 0 || (events != 0 && window == 0)) {
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  Request previous;
  {
    Requests& t = Table();
    std::lock_guard lock(t.FLock);
    if (auto it = t.FBySocket.find(s); it != t.FBySocket.end()) previous = it->second;
    // Nothing to cancel on a socket never selected (a close cancels on every socket).
    if (events == 0 && previous.window == 0) return 0;
    if (::WSAAsyncSelect(s, reinterpret_cast<HWND>(window), message, events) != 0) return SOCKET_ERROR;
    if (events != 0)
      t.FBySocket[s] = Request{window, message};
    else
      t.FBySocket.erase(s);
  }
  if (events == 0 && previous.window != 0) {
    MessageQueue::ForThisThread().Purge([&](const Message& m) {
      return m.window == previous.window && m.message == previous.message && m.wparam == s;
    });
  }
  return 0;
}

}  // namespace zp
