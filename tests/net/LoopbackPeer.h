#pragma once
#include <cstdint>

#include "platform/Sockets.h"
#include "support/TestSockets.h"

// A listening socket on 127.0.0.1 with an ephemeral port, and plain helpers for the
// peer's end of a connection. The peer side uses the system's sockets on purpose (see
// support/TestSockets.h): it stands for the remote host, not for the code under test.
namespace zp::test {

class LoopbackListener {
 public:
  LoopbackListener() { socket_ = RawListen(8, port_); }
  ~LoopbackListener() { Close(); }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  static sockaddr_in Address(std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = WsInetAddr("127.0.0.1");
    a.sin_port = WsHtons(port);
    return a;
  }
  sockaddr_in Address() const { return Address(port_); }
  std::uint16_t Port() const { return port_; }
  RawSocket Accept() { return RawAccept(socket_); }
  void Close() {
    RawClose(socket_);
    socket_ = kNoRawSocket;
  }

 private:
  RawSocket socket_ = kNoRawSocket;
  std::uint16_t port_ = 0;
};

// Closes with a reset instead of a graceful close.
inline void CloseWithReset(RawSocket socket) { RawCloseWithReset(socket); }

}  // namespace zp::test
