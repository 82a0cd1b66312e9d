#pragma once
#include "client/GatewayTransport.h"
#include "platform/MessageQueue.h"

namespace zp {

// The gateway transport on the platform's sockets, with a hidden notification window.
// Construct and use it on the worker thread: the window belongs to the thread that makes
// it, so its notifications are dispatched by that thread's waits.
class SocketTransport final : public GatewayTransport {
 public:
  static constexpr std::uint32_t kSocketMessage = 1468;  // first user message + 444

  // A connect under way is given up once `stop` is set; it must outlive the transport.
  explicit SocketTransport(const Event& stop);
  ~SocketTransport() override;
  SocketTransport(const SocketTransport&) = delete;
  SocketTransport& operator=(const SocketTransport&) = delete;

  void SetEventHandler(EventHandler handler) override { FHandler = std::move(handler); }
  SOCKET Open() override;
  int Connect(SOCKET socket, const std::string& address, std::int32_t port) override;
  int Notify(SOCKET socket, long events) override;
  int Send(SOCKET socket, const std::uint8_t* data, int length) override;
  int Receive(SOCKET socket, std::uint8_t* data, int length) override;
  void Close(SOCKET socket) override;
  int LastError() const override;

 private:
  void SocketWndProc(Message& message);

  const Event& FStop;
  WindowHandle FSocketWindow = 0;
  EventHandler FHandler;
};

}  // namespace zp
