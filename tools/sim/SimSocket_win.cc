#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mutex>
#include <stdexcept>
#include <system_error>

#include "SimSocket.h"
#include "platform/Tick.h"

namespace zp::sim {
namespace {

SOCKET Native(SocketHandle socket) { return static_cast<SOCKET>(socket); }
SocketHandle ToHandle(SOCKET socket) { return static_cast<SocketHandle>(socket); }

// The socket layer starts once per process, on first use; it stays up until the end.
void StartSockets() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    if (const int err = WSAStartup(MAKEWORD(2, 2), &data); err != 0)
      throw std::runtime_error("Windows Sockets do not start: error " + std::to_string(err));
  });
}

// The system's text for a Windows Sockets error, with its number: "text (10048)".
std::string ErrorText(int err) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(err), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer,
                           sizeof buffer, nullptr);
  while (n > 0 && (buffer[n - 1] == '\r' || buffer[n - 1] == '\n' || buffer[n - 1] == ' ' || buffer[n - 1] == '.'))
    --n;
  const std::string number = std::to_string(err);
  return n == 0 ? "error " + number : std::string(buffer, n) + " (" + number + ")";
}

[[noreturn]] void Fail(const std::string& what, const std::string& address, std::uint16_t port, int err) {
  throw std::runtime_error(what + " " + address + ":" + std::to_string(port) + ": " + ErrorText(err));
}

// Sockets are inheritable on Windows unless asked otherwise: a program the process
// starts must not keep the simulator's ports open.
void NotInherited(SOCKET s) { SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0); }

bool MakeNonBlocking(SOCKET s) {
  u_long on = 1;
  return ioctlsocket(s, FIONBIO, &on) == 0;
}

SOCKET NewSocket(int type, int protocol) {
  StartSockets();
  const SOCKET s = WSASocketW(AF_INET, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) return s;
  NotInherited(s);
  if (!MakeNonBlocking(s)) {
    const int err = WSAGetLastError();
    closesocket(s);
    WSASetLastError(err);
    return INVALID_SOCKET;
  }
  return s;
}

sockaddr_in LoopbackAddress(std::uint32_t host_order, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(host_order);
  return sa;
}

SOCKET BoundSocket(const std::string& address, std::uint16_t port) {
  std::uint32_t host_order = 0;
  if (!ParseLoopbackAddress(address, host_order))
    throw std::runtime_error("not a loopback address (127.0.0.0/8): " + address);
  const sockaddr_in sa = LoopbackAddress(host_order, port);
  const SOCKET s = NewSocket(SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) Fail("socket for", address, port, WSAGetLastError());
  // Windows lets a listener reuse a port in TIME_WAIT anyway; its SO_REUSEADDR would
  // also let a second program take a port in use. Exclusive use keeps "in use" an error.
  const BOOL one = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
  if (bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    const int err = WSAGetLastError();
    closesocket(s);
    Fail("cannot bind", address, port, err);
  }
  return s;
}

std::uint16_t LocalPort(SOCKET s) {
  sockaddr_in sa{};
  int len = sizeof sa;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

long Outcome(int n) {
  if (n != SOCKET_ERROR) return n;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kWouldBlock : kSocketFailed;
}

int Chunk(std::size_t size) { return size > 1 << 30 ? 1 << 30 : static_cast<int>(size); }

}  // namespace

SocketHandle ListenOn(const std::string& address, std::uint16_t port, std::uint16_t& bound_port) {
  const SOCKET s = BoundSocket(address, port);
  if (listen(s, SOMAXCONN) != 0) {
    const int err = WSAGetLastError();
    closesocket(s);
    Fail("cannot listen on", address, port, err);
  }
  bound_port = LocalPort(s);
  return ToHandle(s);
}

std::uint16_t ReserveClosedPort(const std::string& address, std::uint16_t port) {
  const SOCKET s = BoundSocket(address, port);
  const std::uint16_t bound = LocalPort(s);
  closesocket(s);
  return bound;
}

SocketHandle AcceptConnection(SocketHandle listener, bool& out_of_resources) {
  out_of_resources = false;
  const SOCKET s = accept(Native(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) {
    const int err = WSAGetLastError();
    out_of_resources = err == WSAEMFILE || err == WSAENOBUFS;
    return kNoSocket;
  }
  NotInherited(s);
  MakeNonBlocking(s);
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return ToHandle(s);
}

void CloseSocket(SocketHandle socket, bool reset) {
  if (socket == kNoSocket) return;
  if (reset) {
    const linger lg{1, 0};
    setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lg), sizeof lg);
  }
  closesocket(Native(socket));
}

long ReceiveSome(SocketHandle socket, void* buffer, std::size_t size) {
  return Outcome(recv(Native(socket), static_cast<char*>(buffer), Chunk(size), 0));
}

long SendSome(SocketHandle socket, const void* bytes, std::size_t size) {
  return Outcome(send(Native(socket), static_cast<const char*>(bytes), Chunk(size), 0));
}

bool PollSockets(std::vector<PollItem>& items, long tick_ms) {
  std::vector<WSAPOLLFD> fds;
  fds.reserve(items.size());
  for (const PollItem& item : items) {
    const short events = static_cast<short>(((item.events & kPollReadable) ? POLLRDNORM : 0) |
                                            ((item.events & kPollWritable) ? POLLWRNORM : 0));
    fds.push_back({Native(item.socket), events, 0});
  }
  // No signals interrupt a wait here, so one wait covers the whole time.
  const long long real_ms = tick_ms < 0 ? -1 : TicksToRealMs(tick_ms);
  const INT timeout = real_ms < 0 ? -1 : real_ms > 0x7fffffff ? 0x7fffffff : static_cast<INT>(real_ms);
  if (WSAPoll(fds.data(), static_cast<ULONG>(fds.size()), timeout) == SOCKET_ERROR) return false;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const short r = fds[i].revents;
    items[i].revents = static_cast<short>(((r & POLLRDNORM) ? kPollReadable : 0) | ((r & POLLWRNORM) ? kPollWritable : 0) |
                                          ((r & POLLHUP) ? kPollHangUp : 0) | ((r & (POLLERR | POLLNVAL)) ? kPollError : 0));
  }
  return true;
}

// A datagram socket on loopback sent to itself: a wait on sockets can watch it, which
// an event object could not share with them.
WakeUp::WakeUp() {
  const SOCKET s = NewSocket(SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) throw std::system_error(WSAGetLastError(), std::system_category(), "wake-up socket");
  sockaddr_in sa = LoopbackAddress(0x7f000001, 0);
  int len = sizeof sa;
  if (bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0 ||
      connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    const int err = WSAGetLastError();
    closesocket(s);
    throw std::system_error(err, std::system_category(), "wake-up socket");
  }
  FHandle = ToHandle(s);
}

WakeUp::~WakeUp() { closesocket(Native(FHandle)); }

void WakeUp::Raise() {
  // A full buffer holds a wake-up already: a failed send loses nothing.
  const char byte = 1;
  send(Native(FHandle), &byte, 1, 0);
}

void WakeUp::Drain() {
  char bytes[64];
  while (recv(Native(FHandle), bytes, sizeof bytes, 0) > 0) {
  }
}

}  // namespace zp::sim
