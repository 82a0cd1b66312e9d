#pragma once
// A loopback listener that never accepts and whose backlog the test has filled: a
// connect to it never completes, as when a firewall drops the connection attempts.
#include <cstdint>
#include <vector>

#include "support/TestSockets.h"

namespace zp::test {

class NeverAccepting {
 public:
  NeverAccepting() {
    // The smallest backlog the system grants: Linux holds one connection at a backlog of
    // 0 and drops the attempts beyond it, which then wait without end. Wine's sockets
    // are the host's, so the same holds there.
    listener_ = RawListen(0, port_);
    if (listener_ == kNoRawSocket) return;
    for (int i = 0; i < 4; ++i) fillers_.push_back(RawConnectStarted(port_));
  }
  ~NeverAccepting() {
    for (const RawSocket s : fillers_) RawClose(s);
    RawClose(listener_);
  }
  NeverAccepting(const NeverAccepting&) = delete;
  NeverAccepting& operator=(const NeverAccepting&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  RawSocket listener_ = kNoRawSocket;
  std::uint16_t port_ = 0;
  std::vector<RawSocket> fillers_;
};

}  // namespace zp::test
