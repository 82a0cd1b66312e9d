#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/SocketText.h"
#include "platform/SocketWatch.h"

namespace zp {
namespace {

thread_local int t_last_error = 0;
std::atomic<int> g_startups{0};

int Fd(SOCKET s) { return static_cast<int>(s); }

bool IsSocket(SOCKET s) {
  if (s > static_cast<SOCKET>(INT_MAX)) return false;
  int type = 0;
  socklen_t len = sizeof type;
  return getsockopt(Fd(s), SOL_SOCKET, SO_TYPE, &type, &len) == 0;
}

int Fail(int wsa_code) {
  t_last_error = wsa_code;
  return SOCKET_ERROR;
}

int FailErrno(int err) { return Fail(WsaErrorFromErrno(err)); }

// A blocking connect that a signal interrupted goes on in the background; wait for its
// outcome instead of starting it again (which would only report EALREADY).
int FinishInterruptedConnect(SOCKET s) {
  pollfd p{Fd(s), POLLOUT, 0};
  int r;
  do {
    r = poll(&p, 1, -1);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return errno;
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(Fd(s), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  return err;
}

}  // namespace

int WsaErrorFromErrno(int err) {
  static_assert(EWOULDBLOCK == EAGAIN && ENOTSUP == EOPNOTSUPP, "one case each below");
  switch (err) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    // Writing to a connection the peer has reset (or that was reset while we still had
    // to close our side): the peer is gone, which Windows Sockets reports as a reset.
    // Our own shut-down sending side is never used by the system.
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    case EUSERS: return WSAEUSERS;
    case EDQUOT: return WSAEDQUOT;
    case ESTALE: return WSAESTALE;
    case EREMOTE: return WSAEREMOTE;
    default: return err;
  }
}

int WsaErrorFromAddrInfo(int eai, int err) {
  switch (eai) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_MEMORY: return WSAENOBUFS;
    case EAI_FAMILY: return WSAEAFNOSUPPORT;
    case EAI_SOCKTYPE: return WSAESOCKTNOSUPPORT;
    case EAI_BADFLAGS:
    case EAI_SERVICE: return WSAEINVAL;
    case EAI_SYSTEM: return err != 0 ? WsaErrorFromErrno(err) : WSANO_RECOVERY;
    default: return WSANO_RECOVERY;
  }
}

int WSAGetLastError() { return t_last_error; }
void WSASetLastError(int code) { t_last_error = code; }

int WSAStartup(std::uint16_t version, WSADATA& data) {
  data = WSADATA{};
  const unsigned major = version & 0xFF;
  const unsigned minor = version >> 8;
  if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
  data.wVersion = 0x0101;
  data.wHighVersion = 0x0101;
  std::snprintf(data.szDescription, sizeof data.szDescription, "POSIX sockets");
  std::snprintf(data.szSystemStatus, sizeof data.szSystemStatus, "Running");
  data.iMaxSockets = 0xFFFF;
  data.iMaxUdpDg = 0xFFFF;
  ++g_startups;
  return 0;
}

int WSACleanup() {
  int n = g_startups.load();
  do {
    if (n == 0) return Fail(WSANOTINITIALIZED);
  } while (!g_startups.compare_exchange_weak(n, n - 1));
  return 0;
}

// Nothing blocks inside a hook on this platform, so there is nothing to cancel.
int WSACancelBlockingCall() { return 0; }

SOCKET WsSocket(int af, int type, int protocol) {
  const int fd = socket(af, type | SOCK_CLOEXEC, protocol);
  if (fd < 0) {
    FailErrno(errno);
    return INVALID_SOCKET;
  }
  const SOCKET s = static_cast<SOCKET>(fd);
  socket_watch::Forget(s);  // the number may have been closed behind our back before
  return s;
}

int WsSetSockOpt(SOCKET s, int level, int optname, const void* optval, int optlen) {
  if (s > static_cast<SOCKET>(INT_MAX)) return Fail(WSAENOTSOCK);
  if (optlen < 0) return Fail(WSAEFAULT);
  if (setsockopt(Fd(s), level, optname, optval, static_cast<socklen_t>(optlen)) != 0)
    return FailErrno(errno);
  return 0;
}

int WsConnect(SOCKET s, const sockaddr_in& address) {
  if (s > static_cast<SOCKET>(INT_MAX)) return Fail(WSAENOTSOCK);
  int err = 0;
  if (connect(Fd(s), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    err = errno;
    if (err == EINTR) err = FinishInterruptedConnect(s);
  }
  if (err == 0) {
    socket_watch::Connected(s);
    return 0;
  }
  // A connect on a non-blocking socket that is under way, as Windows Sockets says it.
  if (err == EINPROGRESS) return Fail(WSAEWOULDBLOCK);
  return FailErrno(err);
}

int WsConnectUnlessStopped(SOCKET s, const sockaddr_in& address, const Event& stop) {
  if (s > static_cast<SOCKET>(INT_MAX)) return Fail(WSAENOTSOCK);
  const int fd = Fd(s);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailErrno(errno);
  int err = 0;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) err = errno;
  if (err == EINPROGRESS || err == EINTR) {
    pollfd p[2] = {{fd, POLLOUT, 0}, {static_cast<int>(stop.NativeHandle()), POLLIN, 0}};
    int r;
    do {
      r = poll(p, 2, -1);
    } while (r < 0 && errno == EINTR);
    // A connect that has ended reports how, even when the stop came at the same time.
    if (r < 0) {
      err = errno;
    } else if (p[0].revents != 0) {
      socklen_t len = sizeof err;
      if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
    } else {
      err = -1;  // stopped
    }
  }
  fcntl(fd, F_SETFL, flags);
  if (err == -1) return Fail(WSAEINTR);
  if (err != 0) return FailErrno(err);
  socket_watch::Connected(s);
  return 0;
}

int WsSend(SOCKET s, const void* buf, int len, int flags) {
  if (s > static_cast<SOCKET>(INT_MAX)) return Fail(WSAENOTSOCK);
  if (len < 0) return Fail(WSAEINVAL);
  ssize_t n;
  do {
    n = send(Fd(s), buf, static_cast<std::size_t>(len), flags | MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    const int err = errno;
    if (err == EAGAIN) socket_watch::SendWouldBlock(s);
    return FailErrno(err);
  }
  return static_cast<int>(n);
}

int WsRecv(SOCKET s, void* buf, int len, int flags) {
  if (s > static_cast<SOCKET>(INT_MAX)) return Fail(WSAENOTSOCK);
  if (len < 0) return Fail(WSAEINVAL);
  ssize_t n;
  do {
    n = recv(Fd(s), buf, static_cast<std::size_t>(len), flags);
  } while (n < 0 && errno == EINTR);
  const int err = errno;
  const int reset = socket_watch::Received(s, n == 0 && len > 0);
  if (reset != 0) return Fail(reset);
  if (n < 0) return FailErrno(err);
  return static_cast<int>(n);
}

int WsCloseSocket(SOCKET s) {
  if (!IsSocket(s)) return Fail(WSAENOTSOCK);
  socket_watch::Forget(s);
  // Linux releases the descriptor even when close reports EINTR: never retry.
  if (close(Fd(s)) != 0 && errno != EINTR) return FailErrno(errno);
  return 0;
}

std::uint32_t WsInetAddr(const char* text) {
  if (text == nullptr) return INADDR_NONE;
  return inet_addr(text);
}

std::uint16_t WsHtons(std::uint16_t value) { return htons(value); }

int WsGetHostName(char* name, int size) {
  if (name == nullptr || size <= 0) return Fail(WSAEFAULT);
  char buffer[HOST_NAME_MAX + 1] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return FailErrno(errno);
  const std::size_t length = std::strlen(buffer);
  if (length >= static_cast<std::size_t>(size)) return Fail(WSAEFAULT);
  std::memcpy(name, buffer, length + 1);
  return 0;
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
  const int r = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (r != 0) {
    Fail(WsaErrorFromAddrInfo(r, errno));
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
