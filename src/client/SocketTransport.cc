#include "client/SocketTransport.h"

#include "net/ZWinSock.h"
#include "platform/AsyncSelect.h"

namespace zp {

SocketTransport::SocketTransport(const Event& stop)
    : FStop(stop),
      FSocketWindow(CreateMessageWindow([this](Message& m) { SocketWndProc(m); })) {}

SocketTransport::~SocketTransport() { DestroyMessageWindow(FSocketWindow); }

SOCKET SocketTransport::Open() {
  const SOCKET s = WsSocket(AF_INET, SOCK_STREAM, 0);
  if (s != INVALID_SOCKET) DisableNoDelay(s);
  return s;
}

int SocketTransport::Connect(SOCKET socket, const std::string& address, std::int32_t port) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = WsInetAddr(address.c_str());
  sin.sin_port = WsHtons(static_cast<std::uint16_t>(port));
  return WsConnectUnlessStopped(socket, sin, FStop);
}

int SocketTransport::Notify(SOCKET socket, long events) {
  return WSAAsyncSelect(socket, FSocketWindow, kSocketMessage, events);
}

int SocketTransport::Send(SOCKET socket, const std::uint8_t* data, int length) {
  return WsSend(socket, data, length, 0);
}

int SocketTransport::Receive(SOCKET socket, std::uint8_t* data, int length) {
  return WsRecv(socket, data, length, 0);
}

void SocketTransport::Close(SOCKET socket) { WsCloseSocket(socket); }

int SocketTransport::LastError() const { return WSAGetLastError(); }

void SocketTransport::SocketWndProc(Message& m) {
  if (m.message == kSocketMessage && FHandler)
    FHandler(static_cast<SOCKET>(m.wparam & 0xFFFF), WSAGETSELECTEVENT(m.lparam), WSAGETSELECTERROR(m.lparam));
  DefaultWindowProc(m);
}

}  // namespace zp
