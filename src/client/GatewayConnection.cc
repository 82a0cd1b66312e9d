#include "client/GatewayConnection.h"

#include <cstring>

#include "framework/Format.h"
#include "net/ProbeLargePacketQueue.h"
#include "net/ZWinSock.h"
#include "platform/AsyncSelect.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

namespace {

// The receive path's reports, as the worker's trace lines and queue appends.
class QueueSink final : public PacketFramer::Sink {
 public:
  QueueSink(ExchangeHost& host, ZLargePacketQueueControl& queue) : FHost(host), FQueue(queue) {}
  void Trace(const std::string& line) override { FHost.Trace(line); }
  void Dump(const std::string& prefix, int length, const std::uint8_t* data) override {
    FHost.TraceDump(prefix, length, data);
  }
  // A packet is queued whole, also when it is longer than one queue block.
  void Packet(const std::uint8_t* data, int length) override { AppendPacket(FQueue, "rx", length, data); }
  bool StopRequested() override { return FHost.StopRequested(); }

 private:
  ExchangeHost& FHost;
  ZLargePacketQueueControl& FQueue;
};

}  // namespace

ZGatewayConnection::ZGatewayConnection(ExchangeHost& host, GatewayTransport& transport)
    : FHost(host), FTransport(transport), FRxQueue(std::make_unique<ZLargePacketQueueControl>("Rx")) {
  FTransport.SetEventHandler([this](SOCKET s, int event, int error) { OnSocketEvent(s, event, error); });
}

ZGatewayConnection::~ZGatewayConnection() {
  FreeSocket();
  FTransport.SetEventHandler(nullptr);
}

std::string ZGatewayConnection::LastErrorText(int* code) {
  const int c = FTransport.LastError();
  if (code != nullptr) *code = c;
  return SocketErrorText(c);
}

void ZGatewayConnection::FreeSocket() {
  if (FSocket != INVALID_SOCKET) {
    if (FTransport.Notify(FSocket, 0) != 0) FHost.Trace("FreeSocket: WSAAsyncSelect() err " + LastErrorText());
    FHost.Trace(Format("Socket $%4.4X (%d) Freed", static_cast<unsigned>(FSocket), static_cast<int>(FSocket)));
    FTransport.Close(FSocket);
    FSocket = INVALID_SOCKET;
  }
  FFramer.Clear();
}

ZGatewayConnection::ConnectResult ZGatewayConnection::ConnectTo(const std::string& address, std::int32_t port,
                                                                std::string& error, int& code) {
  code = 0;
  FLastError = 0;
  // Every exchange takes the first fitting packet from the queue, and the route answer
  // is not even checked for its type: a packet still queued from an earlier connection
  // (a peer that answered twice) must not pass for this peer's.
  while (FRxQueue->Count() > 0) FRxQueue->DeleteEntry(0);
  if (FSocket != INVALID_SOCKET) FreeSocket();
  const SOCKET s = FTransport.Open();
  if (s == INVALID_SOCKET) {
    code = FLastError = FTransport.LastError();
    return ConnectResult::NoSocket;
  }
  FSocket = s;
  FHost.Trace(Format("Socket $%4.4X (%d) Created", static_cast<unsigned>(s), static_cast<int>(s)));
  if (FTransport.Connect(FSocket, address, port) != 0) {
    error = LastErrorText(&code);
    FLastError = code;
    return ConnectResult::ConnectFailed;
  }
  if (FTransport.Notify(FSocket, kSelectEvents) != 0) {
    error = LastErrorText(&code);
    FLastError = code;
    return ConnectResult::SelectFailed;
  }
  return ConnectResult::Connected;
}

int ZGatewayConnection::EncodeNext(ZExpBuf& packet, std::vector<std::uint8_t>& bytes) {
  bytes.resize(ZExpBuf::MaxPacketLength);
  packet.ClientSequence = FHost.NextClientSequence();
  int length = 0;
  packet.Encode(length, bytes.data());
  return length;
}

void ZGatewayConnection::TraceHeader(const ZExpBuf& packet, const std::string& tag) {
  for (const std::string& line : packet.HeaderLines(tag)) FHost.Trace(line);
}

int ZGatewayConnection::SendSome(const std::uint8_t* bytes, int length, int& code, std::string& error) {
  if (FSocket == INVALID_SOCKET) {
    // The connection was closed under us (a close notification freed the socket).
    code = FLastError = WSAENOTSOCK;
    error = SocketErrorText(code);
    return SOCKET_ERROR;
  }
  const int n = FTransport.Send(FSocket, bytes, length);
  if (n == SOCKET_ERROR) {
    error = LastErrorText(&code);
    if (code != WSAEWOULDBLOCK) FLastError = code;
  }
  return n;
}

int ZGatewayConnection::SendWithRetry(const ZExpBuf& packet, const std::vector<std::uint8_t>& bytes, int length,
                                      std::string& error, const char* tag, const std::function<int()>& rebuild) {
  int offset = 0;
  bool blocked = false;
  while (!FHost.StopRequested()) {
    if (blocked && offset == 0 && rebuild) length = rebuild();
    int code = 0;
    const int n = SendSome(bytes.data() + offset, length - offset, code, error);
    if (n != SOCKET_ERROR) {
      // A non-blocking stream socket may take only part of the bytes; the rest must
      // follow, or the peer would see the next packet spliced into this one.
      offset += n;
      if (offset >= length) {
        if (tag != nullptr) TraceHeader(packet, tag);
        return 0;
      }
      continue;
    }
    if (code != WSAEWOULDBLOCK) return code;
    TraceHeader(packet, "!Tx");
    FHost.WaitForEvent(kRetryPauseMs);
    blocked = true;
  }
  return 0;
}

int ZGatewayConnection::SendAndDump(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, std::string& error,
                                    const char* tag, const char* dump) {
  const int length = EncodeNext(packet, bytes);
  const int code = SendWithRetry(packet, bytes, length, error, tag);
  if (code == 0) FHost.TraceDump(dump, length, bytes.data());
  return code;
}

void ZGatewayConnection::OnSocketEvent(SOCKET socket, int event, int error) {
  if (error != 0)
    FHost.Trace(Format("SocketWndProc:  %4.4X %4.4X %4.4X %s", static_cast<unsigned>(socket),
                       static_cast<unsigned>(event), static_cast<unsigned>(error), SocketErrorText(error).c_str()));
  switch (event) {
    case FD_READ:
      FHost.Trace("Data Received (FD_READ)");
      ReceiveData();
      FHost.Signal();
      break;
    case FD_WRITE:
      FHost.Trace("Ready to Write (FD_WRITE)");
      FHost.Signal();
      break;
    case FD_CLOSE:
      FHost.Trace("Socket Closed (FD_CLOSE)");
      ReceiveData();
      FreeSocket();
      FHost.ConnectionClosed();
      FHost.Signal();
      break;
    default:
      FHost.Trace("unknown socket event");
      break;
  }
}

void ZGatewayConnection::ReceiveData() {
  if (FSocket == INVALID_SOCKET) return;
  std::uint8_t buffer[PacketFramer::kReadSize] = {};
  const int n = FTransport.Receive(FSocket, buffer, FFramer.ReadSpace());
  if (n == SOCKET_ERROR) {
    FHost.Trace(Format("recv() failed Connection Closed Ungracefully Socket(%d) %s", static_cast<int>(FSocket),
                       LastErrorText().c_str()));
    FreeSocket();
    return;
  }
  if (n == 0) {
    FreeSocket();
    FHost.Trace("Connection Closed Gracefully");
    return;
  }
  QueueSink sink(FHost, *FRxQueue);
  FFramer.Receive(buffer, n, sink);
}

bool ZGatewayConnection::NextPacket(int& length, std::uint8_t* bytes) {
  if (FRxQueue->Count() == 0) return false;
  const ZLargePacketQueueEntry* entry = FRxQueue->GetEntry(0);
  length = entry->FLength;
  std::memcpy(bytes, entry->FData.data(), static_cast<std::size_t>(length));
  FRxQueue->DeleteEntry(0);
  return true;
}

bool ZGatewayConnection::TakePacket(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, char type) {
  bytes.resize(ZExpBuf::MaxPacketLength);
  int length = 0;
  if (!NextPacket(length, bytes.data())) return false;
  return packet.Decode(length, bytes.data()) > 0 && (type == 0 || packet.PacketType == type);
}

}  // namespace zp
