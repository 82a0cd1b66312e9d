#include "support/TestSockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace zp::test {
namespace {

int Fd(RawSocket socket) { return static_cast<int>(socket); }

sockaddr_in Loopback(const std::string& address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  return a;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

}  // namespace

int RefusedError() { return ECONNREFUSED; }
int ResetError() { return ECONNRESET; }
int LastRawError() { return errno; }

RawSocket RawListen(int backlog, std::uint16_t& bound, const std::string& address, std::uint16_t port,
                    int receive_buffer) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoRawSocket;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (receive_buffer > 0) setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  const sockaddr_in a = Loopback(address, port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0) {
    close(fd);
    return kNoRawSocket;
  }
  bound = LocalPort(fd);
  return fd;
}

RawSocket RawBindOnly(std::uint16_t& bound) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoRawSocket;
  const sockaddr_in a = Loopback("127.0.0.1", 0);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return kNoRawSocket;
  }
  bound = LocalPort(fd);
  return fd;
}

RawSocket RawAccept(RawSocket listener) {
  for (;;) {
    const int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0 || errno != EINTR) return fd < 0 ? kNoRawSocket : fd;
  }
}

RawSocket RawConnect(const std::string& address, std::uint16_t port, int& error) {
  error = 0;
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = errno;
    return kNoRawSocket;
  }
  const sockaddr_in a = Loopback(address, port);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
    error = errno;
    close(fd);
    return kNoRawSocket;
  }
  return fd;
}

RawSocket RawConnectStarted(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return kNoRawSocket;
  const sockaddr_in a = Loopback("127.0.0.1", port);
  connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  return fd;
}

bool RawWaitReadable(RawSocket socket, int timeout_ms) {
  pollfd p{Fd(socket), POLLIN, 0};
  return poll(&p, 1, timeout_ms) > 0;
}

long RawReceive(RawSocket socket, void* buffer, std::size_t size) {
  return static_cast<long>(recv(Fd(socket), buffer, size, 0));
}

long RawSend(RawSocket socket, const void* bytes, std::size_t size) {
  return static_cast<long>(send(Fd(socket), bytes, size, MSG_NOSIGNAL));
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
  if (socket != kNoRawSocket) close(Fd(socket));
}

void RawSetResetOnClose(RawSocket socket) {
  const linger l{1, 0};
  setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

void RawCloseWithReset(RawSocket socket) {
  if (socket == kNoRawSocket) return;
  RawSetResetOnClose(socket);
  RawClose(socket);
}

void RawShutdown(RawSocket socket) { shutdown(Fd(socket), SHUT_RDWR); }

void RawSetReceiveBuffer(RawSocket socket, int bytes) {
  setsockopt(Fd(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void RawSetNoDelay(RawSocket socket) {
  const int one = 1;
  setsockopt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace zp::test
