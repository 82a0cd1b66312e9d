#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Sockets.h"

namespace zp {

// The socket calls of the gateway connection, with the Windows Sockets results: a call
// fails with SOCKET_ERROR (Open with INVALID_SOCKET) and LastError() gives the reason.
// Notifications (FD_READ, FD_WRITE, FD_CLOSE, with an error code) reach the handler only
// when the worker's waits dispatch, never from inside a call. The real transport is the
// platform's sockets; tests script one, so that the exchanges run over plain bytes.
class GatewayTransport {
 public:
  using EventHandler = std::function<void(SOCKET socket, int event, int error)>;

  virtual ~GatewayTransport() = default;
  virtual void SetEventHandler(EventHandler handler) = 0;
  virtual SOCKET Open() = 0;
  virtual int Connect(SOCKET socket, const std::string& address, std::int32_t port) = 0;
  // Asks for `events` (0: none any more).
  virtual int Notify(SOCKET socket, long events) = 0;
  virtual int Send(SOCKET socket, const std::uint8_t* data, int length) = 0;
  // 0 when the peer has closed the connection.
  virtual int Receive(SOCKET socket, std::uint8_t* data, int length) = 0;
  virtual void Close(SOCKET socket) = 0;
  virtual int LastError() const = 0;
};

}  // namespace zp
