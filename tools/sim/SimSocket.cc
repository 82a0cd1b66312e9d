#include "SimSocket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "platform/PollWait.h"

namespace zp::sim {
namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

[[noreturn]] void Fail(const std::string& what, const std::string& address, std::uint16_t port, int err) {
  throw std::runtime_error(what + " " + address + ":" + std::to_string(port) + ": " + std::strerror(err));
}

int BoundSocket(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  std::uint32_t host_order = 0;
  if (!ParseLoopbackAddress(address, host_order))
    throw std::runtime_error("not a loopback address (127.0.0.0/8): " + address);
  sa.sin_addr.s_addr = htonl(host_order);
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

short ToPoll(short events) {
  return static_cast<short>(((events & kPollReadable) ? POLLIN : 0) | ((events & kPollWritable) ? POLLOUT : 0));
}

short FromPoll(short revents) {
  return static_cast<short>(((revents & POLLIN) ? kPollReadable : 0) | ((revents & POLLOUT) ? kPollWritable : 0) |
                            ((revents & POLLHUP) ? kPollHangUp : 0) | ((revents & (POLLERR | POLLNVAL)) ? kPollError : 0));
}

}  // namespace

SocketHandle ListenOn(const std::string& address, std::uint16_t port, std::uint16_t& bound_port) {
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

SocketHandle AcceptConnection(SocketHandle listener, bool& out_of_resources) {
  out_of_resources = false;
  const int fd = accept4(Fd(listener), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) {
    out_of_resources = errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM;
    return kNoSocket;
  }
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void CloseSocket(SocketHandle socket, bool reset) {
  if (socket == kNoSocket) return;
  if (reset) {
    const linger lg{1, 0};
    setsockopt(Fd(socket), SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
  }
  close(Fd(socket));
}

long ReceiveSome(SocketHandle socket, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = recv(Fd(socket), buffer, size, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kSocketFailed;
  }
}

long SendSome(SocketHandle socket, const void* bytes, std::size_t size) {
  for (;;) {
    const ssize_t n = send(Fd(socket), bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? kWouldBlock : kSocketFailed;
  }
}

bool PollSockets(std::vector<PollItem>& items, long tick_ms) {
  std::vector<pollfd> fds;
  fds.reserve(items.size());
  for (const PollItem& item : items) fds.push_back({Fd(item.socket), ToPoll(item.events), 0});
  if (PollWithDeadline(fds.data(), fds.size(), PollDeadline(tick_ms)) < 0) return false;
  for (std::size_t i = 0; i < items.size(); ++i) items[i].revents = FromPoll(fds[i].revents);
  return true;
}

WakeUp::WakeUp() {
  const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  FHandle = fd;
}

WakeUp::~WakeUp() { close(Fd(FHandle)); }

void WakeUp::Raise() { RaiseEventFd(Fd(FHandle)); }

void WakeUp::Drain() { DrainEventFd(Fd(FHandle)); }

}  // namespace zp::sim
