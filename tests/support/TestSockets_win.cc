#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "support/TestSockets.h"

namespace zp::test {
namespace {

SOCKET Native(RawSocket socket) { return static_cast<SOCKET>(socket); }
RawSocket Raw(SOCKET socket) { return socket == INVALID_SOCKET ? kNoRawSocket : static_cast<RawSocket>(socket); }

// The socket layer is started once more for every socket here and stopped with its
// close, so that the test's own sockets never leave it running for the code under test
// (whose tests check that its last stop stops it).
void StartSockets() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}

// Sockets are inheritable on Windows unless asked otherwise: a program the test starts
// must not keep the test's ports open.
SOCKET NewSocket() {
  StartSockets();
  const SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    const int err = WSAGetLastError();
    WSACleanup();
    WSASetLastError(err);
    return s;
  }
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return s;
}

void CloseNative(SOCKET s) {
  closesocket(s);
  WSACleanup();
}

sockaddr_in Loopback(const std::string& address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return a;
}

std::uint16_t LocalPort(SOCKET s) {
  sockaddr_in a{};
  int len = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

int Chunk(std::size_t size) { return size > 1 << 30 ? 1 << 30 : static_cast<int>(size); }

}  // namespace

int RefusedError() { return WSAECONNREFUSED; }
int ResetError() { return WSAECONNRESET; }
int LastRawError() { return WSAGetLastError(); }

RawSocket RawListen(int backlog, std::uint16_t& bound, const std::string& address, std::uint16_t port,
                    int receive_buffer) {
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) return kNoRawSocket;
  if (receive_buffer > 0)
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receive_buffer), sizeof receive_buffer);
  const sockaddr_in a = Loopback(address, port);
  if (bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(s, backlog) != 0) {
    CloseNative(s);
    return kNoRawSocket;
  }
  bound = LocalPort(s);
  return Raw(s);
}

RawSocket RawBindOnly(std::uint16_t& bound) {
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) return kNoRawSocket;
  const sockaddr_in a = Loopback("127.0.0.1", 0);
  if (bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    CloseNative(s);
    return kNoRawSocket;
  }
  bound = LocalPort(s);
  return Raw(s);
}

RawSocket RawAccept(RawSocket listener) {
  const SOCKET s = accept(Native(listener), nullptr, nullptr);
  if (s != INVALID_SOCKET) {
    StartSockets();
    SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    // An accepted socket takes over the listener's mode; the test's sockets block.
    u_long off = 0;
    ioctlsocket(s, FIONBIO, &off);
  }
  return Raw(s);
}

RawSocket RawConnect(const std::string& address, std::uint16_t port, int& error) {
  error = 0;
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) {
    error = WSAGetLastError();
    return kNoRawSocket;
  }
  const sockaddr_in a = Loopback(address, port);
  if (connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    error = WSAGetLastError();
    CloseNative(s);
    return kNoRawSocket;
  }
  return Raw(s);
}

RawSocket RawConnectStarted(std::uint16_t port) {
  const SOCKET s = NewSocket();
  if (s == INVALID_SOCKET) return kNoRawSocket;
  u_long on = 1;
  ioctlsocket(s, FIONBIO, &on);
  const sockaddr_in a = Loopback("127.0.0.1", port);
  connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return Raw(s);
}

bool RawWaitReadable(RawSocket socket, int timeout_ms) {
  WSAPOLLFD p{Native(socket), POLLRDNORM, 0};
  return WSAPoll(&p, 1, timeout_ms) > 0;
}

long RawReceive(RawSocket socket, void* buffer, std::size_t size) {
  const int n = recv(Native(socket), static_cast<char*>(buffer), Chunk(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

long RawSend(RawSocket socket, const void* bytes, std::size_t size) {
  const int n = send(Native(socket), static_cast<const char*>(bytes), Chunk(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool RawSendAll(RawSocket socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const long n = RawSend(socket, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void RawClose(RawSocket socket) {
  if (socket != kNoRawSocket) CloseNative(Native(socket));
}

void RawSetResetOnClose(RawSocket socket) {
  const linger l{1, 0};
  setsockopt(Native(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
}

void RawCloseWithReset(RawSocket socket) {
  if (socket == kNoRawSocket) return;
  RawSetResetOnClose(socket);
  RawClose(socket);
}

void RawShutdown(RawSocket socket) { shutdown(Native(socket), SD_BOTH); }

void RawSetReceiveBuffer(RawSocket socket, int bytes) {
  setsockopt(Native(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

void RawSetNoDelay(RawSocket socket) {
  const BOOL one = TRUE;
  setsockopt(Native(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

}  // namespace zp::test
