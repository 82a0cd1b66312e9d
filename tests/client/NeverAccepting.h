#pragma once
// A loopback listener that never accepts and whose backlog the test has filled: a
// connect to it never completes, as when a firewall drops the connection attempts.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace zp::test {

// A listening socket on 127.0.0.1 at an ephemeral port (returned in `port`); -1 on failure.
inline int ListenOnLoopback(int backlog, std::uint16_t& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(a.sin_port);
  return fd;
}

class NeverAccepting {
 public:
  NeverAccepting() {
    listener_ = ListenOnLoopback(0, port_);
    if (listener_ < 0) return;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port_);
    // The backlog of 0 holds one connection; the rest wait with their attempts dropped.
    for (int i = 0; i < 4; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
      fillers_.push_back(fd);
    }
  }
  ~NeverAccepting() {
    for (const int fd : fillers_) close(fd);
    if (listener_ >= 0) close(listener_);
  }
  NeverAccepting(const NeverAccepting&) = delete;
  NeverAccepting& operator=(const NeverAccepting&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace zp::test
