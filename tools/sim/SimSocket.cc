#include "SimSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zp::sim {
namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& address, std::uint16_t port, int err) {
  throw std::runtime_error(what + " " + address + ":" + std::to_string(port) + ": " + std::strerror(err));
}

int BoundSocket(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (!ParseLoopbackAddress(address, sa.sin_addr))
    throw std::runtime_error("not a loopback address (127.0.0.0/8): " + address);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) Fail("socket for", address, port, errno);
  const int one = 1;
  // A fixed port must be reusable right after an earlier run left it in TIME_WAIT.
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    const int err = errno;
    close(fd);
    Fail("cannot bind", address, port, err);
  }
  return fd;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

}  // namespace

bool ParseLoopbackAddress(std::string_view text, in_addr& address) {
  if (text.empty() || text.size() > 15) return false;
  const std::string s(text);
  if (inet_pton(AF_INET, s.c_str(), &address) != 1) return false;
  return (ntohl(address.s_addr) >> 24) == 127;
}

int ListenOn(const std::string& address, std::uint16_t port, std::uint16_t& bound_port) {
  const int fd = BoundSocket(address, port);
  if (listen(fd, SOMAXCONN) != 0) {
    const int err = errno;
    close(fd);
    Fail("cannot listen on", address, port, err);
  }
  bound_port = LocalPort(fd);
  return fd;
}

std::uint16_t ReserveClosedPort(const std::string& address, std::uint16_t port) {
  const int fd = BoundSocket(address, port);
  const std::uint16_t bound = LocalPort(fd);
  close(fd);
  return bound;
}

int AcceptConnection(int listener) {
  const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return -1;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void CloseSocket(int fd, bool reset) {
  if (fd < 0) return;
  if (reset) {
    const linger lg{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  }
  close(fd);
}

}  // namespace zp::sim
