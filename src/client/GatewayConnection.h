#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/ExchangeHost.h"
#include "client/GatewayTransport.h"
#include "client/PacketFramer.h"

namespace zp {

class ZExpBuf;
class ZLargePacketQueueControl;

// The worker's one connection to a route server or gateway route: the socket, its
// notifications, the receive framing and the queue of received packets. Every exchange
// connects, sends and takes packets through it; all of it runs on the worker thread.
class ZGatewayConnection {
 public:
  static constexpr long kSelectEvents = 35;  // FD_READ | FD_WRITE | FD_CLOSE
  static constexpr int kRetryPauseMs = 250;  // between sends that would block

  enum class ConnectResult { Connected, NoSocket, ConnectFailed, SelectFailed };

  // Both must outlive the connection.
  ZGatewayConnection(ExchangeHost& host, GatewayTransport& transport);
  ~ZGatewayConnection();
  ZGatewayConnection(const ZGatewayConnection&) = delete;
  ZGatewayConnection& operator=(const ZGatewayConnection&) = delete;

  // Socket, connect, notifications; packets still queued from an earlier connection are
  // dropped first. On failure `error` is the error text and `code` its code (for NoSocket
  // only the code). A failed connect keeps the socket: the caller frees it.
  ConnectResult ConnectTo(const std::string& address, std::int32_t port, std::string& error, int& code);
  // Frees the socket (tracing it) and discards the bytes held for framing.
  void FreeSocket();
  bool HasSocket() const { return FSocket != INVALID_SOCKET; }
  // The socket error code of the last connect or send that failed (0 before any).
  int LastError() const { return FLastError; }
  SOCKET Socket() const { return FSocket; }

  // Gives `packet` a new client sequence number and encodes it into `bytes` (resized to
  // hold the largest packet); returns the length.
  int EncodeNext(ZExpBuf& packet, std::vector<std::uint8_t>& bytes);
  // Sends all `length` bytes of `packet`, retrying while the send would block (each time
  // tracing its header as "!Tx"); traces the header with `tag` once sent (none when null).
  // When given, `rebuild` encodes the packet into `bytes` again and returns the new length:
  // it is called before a retry that finds none of the bytes taken, so that a packet not yet
  // begun goes out with a new client sequence. 0 when sent (or a stop was requested), else
  // the error code and `error` its text.
  int SendWithRetry(const ZExpBuf& packet, const std::vector<std::uint8_t>& bytes, int length, std::string& error,
                    const char* tag = "Tx", const std::function<int()>& rebuild = nullptr);
  // EncodeNext, SendWithRetry and, once sent, a dump of the bytes under `dump`.
  int SendAndDump(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, std::string& error, const char* tag = "Tx",
                  const char* dump = "Tx");
  // One send of what is left of a packet: the count taken, or SOCKET_ERROR with `code`
  // and `error` (WSAENOTSOCK once the connection was closed under us).
  int SendSome(const std::uint8_t* bytes, int length, int& code, std::string& error);
  void TraceHeader(const ZExpBuf& packet, const std::string& tag);

  // The oldest queued packet; `bytes` must hold ZExpBuf::MaxPacketLength bytes.
  bool NextPacket(int& length, std::uint8_t* bytes);
  // Takes the oldest queued packet and decodes it into `packet`. True when there was one
  // and it is of `type` (any type when 0); others are dropped, as every exchange drops
  // what it does not wait for.
  bool TakePacket(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, char type = 0);

  // A notification of the socket (what the hidden window's procedure gets).
  void OnSocketEvent(SOCKET socket, int event, int error);

 private:
  void ReceiveData();
  std::string LastErrorText(int* code = nullptr);

  ExchangeHost& FHost;
  GatewayTransport& FTransport;
  SOCKET FSocket = INVALID_SOCKET;
  int FLastError = 0;
  PacketFramer FFramer;  // FLanBuffer and FLanBytes
  std::unique_ptr<ZLargePacketQueueControl> FRxQueue;
};

}  // namespace zp
