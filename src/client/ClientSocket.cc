// The worker's one TCP socket: create, connect, send with retry, the notification
// window's procedure, and the receive path into the packet queue.
#include <cstdio>
#include <cstring>

#include "client/ClientFormat.h"
#include "client/ProbeExpressClientThread.h"
#include "net/ProbeLargePacketQueue.h"
#include "net/ZWinSock.h"
#include "platform/AsyncSelect.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

std::string ZExpressTcpClientThread::LastSocketErrorText(int* code) {
  const int c = WSAGetLastError();
  if (code != nullptr) *code = c;
  return SocketErrorText(c);
}

int ZExpressTcpClientThread::CreateSocket() {
  if (FSocket != INVALID_SOCKET) FreeSocket();
  const SOCKET s = WsSocket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return 3;
  FSocket = s;
  Trace(Format("Socket $%4.4X (%d) Created", static_cast<unsigned>(s), static_cast<int>(s)));
  DisableNoDelay(s);
  return 0;
}

void ZExpressTcpClientThread::FreeSocket() {
  if (FSocket != INVALID_SOCKET) {
    if (WSAAsyncSelect(FSocket, FSocketWindow, kSocketMessage, 0) != 0)
      Trace("FreeSocket: WSAAsyncSelect() err " + LastSocketErrorText());
    Trace(Format("Socket $%4.4X (%d) Freed", static_cast<unsigned>(FSocket), static_cast<int>(FSocket)));
    WsCloseSocket(FSocket);
    FSocket = INVALID_SOCKET;
  }
  if (FFramer) FFramer->Clear();
}

ZExpressTcpClientThread::ConnectResult ZExpressTcpClientThread::ConnectTo(const std::string& address,
                                                                          std::int32_t port,
                                                                          std::string& error, int& code) {
  code = 0;
  // Every exchange takes the first fitting packet from the queue, and the route answer
  // is not even checked for its type: a packet still queued from an earlier connection
  // (a peer that answered twice) must not pass for this peer's.
  while (FRxQueue->Count() > 0) FRxQueue->DeleteEntry(0);
  if (CreateSocket() != 0) {
    code = WSAGetLastError();
    return ConnectResult::NoSocket;
  }
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_addr.s_addr = WsInetAddr(address.c_str());
  sin.sin_port = WsHtons(static_cast<std::uint16_t>(port));
  if (WsConnect(FSocket, sin) != 0) {
    error = LastSocketErrorText(&code);
    return ConnectResult::ConnectFailed;
  }
  if (WSAAsyncSelect(FSocket, FSocketWindow, kSocketMessage, kSelectEvents) != 0) {
    error = LastSocketErrorText(&code);
    return ConnectResult::SelectFailed;
  }
  return ConnectResult::Connected;
}

int ZExpressTcpClientThread::SendWithRetry(const ZExpBuf& packet, const std::uint8_t* bytes, int length,
                                           std::string& error, const char* tag) {
  int offset = 0;
  while (!Terminated()) {
    if (FSocket == INVALID_SOCKET) {
      // The connection was closed under us (a close notification freed the socket).
      WSASetLastError(WSAENOTSOCK);
    } else if (const int n = WsSend(FSocket, bytes + offset, length - offset, 0); n != SOCKET_ERROR) {
      // A non-blocking stream socket may take only part of the bytes; the rest must
      // follow, or the peer would see the next packet spliced into this one.
      offset += n;
      if (offset >= length) {
        packet.TraceHeader(GetName(), tag);
        return 0;
      }
      continue;
    }
    int code = 0;
    error = LastSocketErrorText(&code);
    if (code != WSAEWOULDBLOCK) return code;
    packet.TraceHeader(GetName(), "!Tx");
    WaitForEvent(kRetryPauseMs);
  }
  return 0;
}

void ZExpressTcpClientThread::SocketWndProc(Message& m) {
  if (m.message == kSocketMessage) {
    const unsigned socket = static_cast<unsigned>(m.wparam & 0xFFFF);
    const int event = WSAGETSELECTEVENT(m.lparam);
    const int error = WSAGETSELECTERROR(m.lparam);
    if (error != 0)
      Trace(Format("SocketWndProc:  %4.4X %4.4X %4.4X %s", socket, static_cast<unsigned>(event),
                   static_cast<unsigned>(error), SocketErrorText(error).c_str()));
    switch (event) {
      case FD_READ:
        Trace("Data Received (FD_READ)");
        ReceiveData();
        Signal();
        break;
      case FD_WRITE:
        Trace("Ready to Write (FD_WRITE)");
        Signal();
        break;
      case FD_CLOSE:
        Trace("Socket Closed (FD_CLOSE)");
        ReceiveData();
        FreeSocket();
        SetState(state::Waiting);
        Signal();
        break;
      default:
        Trace("unknown socket event");
        break;
    }
  }
  DefWindowProc(m);
}

namespace {

// The receive path's reports, as the worker's trace lines and queue appends.
class WorkerSink final : public PacketFramer::Sink {
 public:
  WorkerSink(ZExpressTcpClientThread& worker, ZLargePacketQueueControl& queue) : w_(worker), q_(queue) {}
  void Trace(const std::string& line) override { w_.Trace(line); }
  void Dump(const std::string& prefix, int length, const std::uint8_t* data) override {
    w_.TraceDump(prefix, length, data);
  }
  // A packet is queued whole, also when it is longer than one queue block.
  void Packet(const std::uint8_t* data, int length) override { AppendPacket(q_, "rx", length, data); }
  bool StopRequested() override { return w_.Terminated(); }

 private:
  ZExpressTcpClientThread& w_;
  ZLargePacketQueueControl& q_;
};

}  // namespace

void ZExpressTcpClientThread::ReceiveData() {
  if (FSocket == INVALID_SOCKET) return;
  std::uint8_t buffer[PacketFramer::kReadSize] = {};
  const int n = WsRecv(FSocket, buffer, FFramer->ReadSpace(), 0);
  if (n == SOCKET_ERROR) {
    Trace(Format("recv() failed Connection Closed Ungracefully Socket(%d) %s", static_cast<int>(FSocket),
                 LastSocketErrorText().c_str()));
    FreeSocket();
    return;
  }
  if (n == 0) {
    FreeSocket();
    Trace("Connection Closed Gracefully");
    return;
  }
  WorkerSink sink(*this, *FRxQueue);
  FFramer->Receive(buffer, n, sink);
}

bool ZExpressTcpClientThread::NextPacket(int& length, std::uint8_t* bytes) {
  if (FRxQueue->Count() == 0) return false;
  const ZLargePacketQueueEntry* entry = FRxQueue->GetEntry(0);
  length = entry->FLength;
  std::memcpy(bytes, entry->FData.data(), static_cast<std::size_t>(length));
  FRxQueue->DeleteEntry(0);
  return true;
}

}  // namespace zp
