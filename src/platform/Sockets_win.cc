#include "platform/Sockets.h"


#include "platform/AsyncSelect.h"
#include "platform/SocketText.h"

// The system's own Windows Sockets 2: the calls and the error codes are the real ones.
namespace zp {
namespace {

int Fail(int code) {
  WSASetLastError(code);
  return SOCKET_ERROR;
}

// Back to blocking mode: possible only once no notification is requested any more.
void MakeBlocking(SOCKET s) {
  WSAEventSelect(s, nullptr, 0);
  u_long off = 0;
  ioctlsocket(s, FIONBIO, &off);
}

}  // namespace

int WSAStartup(std::uint16_t version, WSADATA& data) { return ::WSAStartup(version, &data); }

SOCKET WsSocket(int af, int type, int protocol) {
  // Not inherited by programs this one starts.
  return WSASocketW(af, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}

int WsSetSockOpt(SOCKET s, int level, int optname, const void* optval, int optlen) {
  return setsockopt(s, level, optname, static_cast<const char*>(optval), optlen);
}

int WsConnect(SOCKET s, const sockaddr_in& address) {
  return connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

int WsConnectUnlessStopped(SOCKET s, const sockaddr_in& address, const Event& stop) {
  WSAEVENT done = WSACreateEvent();
  if (done == WSA_INVALID_EVENT) return SOCKET_ERROR;
  // Selecting FD_CONNECT makes the socket non-blocking, so the connect returns at once.
  if (WSAEventSelect(s, done, FD_CONNECT) != 0) {
    const int err = WSAGetLastError();
    WSACloseEvent(done);
    return Fail(err);
  }
  int err = 0;
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    err = WSAGetLastError();
    if (err == WSAEWOULDBLOCK) {
      HANDLE both[2] = {done, reinterpret_cast<HANDLE>(stop.NativeHandle())};
      // A connect that has ended reports how, even when the stop came at the same time:
      // the lower index wins.
      const DWORD r = WaitForMultipleObjects(2, both, FALSE, INFINITE);
      if (r == WAIT_OBJECT_0) {
        WSANETWORKEVENTS what{};
        err = WSAEnumNetworkEvents(s, done, &what) != 0 ? WSAGetLastError()
                                                        : what.iErrorCode[FD_CONNECT_BIT];
      } else if (r == WAIT_OBJECT_0 + 1) {
        err = WSAEINTR;
      } else {
        err = static_cast<int>(GetLastError());
      }
    }
  }
  MakeBlocking(s);
  WSACloseEvent(done);
  return err == 0 ? 0 : Fail(err);
}

int WsSend(SOCKET s, const void* buf, int len, int flags) {
  return send(s, static_cast<const char*>(buf), len, flags);
}

int WsRecv(SOCKET s, void* buf, int len, int flags) {
  return recv(s, static_cast<char*>(buf), len, flags);
}

int WsCloseSocket(SOCKET s) {
  // Notifications still queued for the socket would name a number the system may give
  // to the next socket.
  WSAAsyncSelect(s, 0, 0, 0);
  return closesocket(s);
}

std::uint32_t WsInetAddr(const char* text) {
  if (text == nullptr) return INADDR_NONE;
  return inet_addr(text);
}

std::uint16_t WsHtons(std::uint16_t value) { return htons(value); }

int WsGetHostName(char* name, int size) {
  if (name == nullptr || size <= 0) return Fail(WSAEFAULT);
  return gethostname(name, size);
}

bool WsResolveIPv4(const std::string& host, std::vector<std::string>& addresses) {
  addresses.clear();
  if (host.empty() || host.find('\0') != std::string::npos) {
    Fail(WSAHOST_NOT_FOUND);
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  // getaddrinfo's results are Windows Sockets codes already.
  const int r = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (r != 0) {
    Fail(r);
    return false;
  }
  for (const addrinfo* a = list; a != nullptr; a = a->ai_next)
    AppendIPv4Once(a->ai_family, a->ai_addr, static_cast<std::size_t>(a->ai_addrlen), addresses);
  freeaddrinfo(list);
  if (addresses.empty()) {
    Fail(WSANO_DATA);
    return false;
  }
  return true;
}

}  // namespace zp
