#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "client/HostResolver.h"
#include "client/PacketFramer.h"
#include "client/RouteEntry.h"
#include "client/RouteList.h"
#include "client/RunRecorder.h"
#include "framework/ProbeBaseThread.h"
#include "platform/MessageQueue.h"
#include "platform/Sockets.h"

namespace zp {

class DnsCache;
class ZExpBuf;
class ZLargePacketQueueControl;


// Result codes of one test.
inline constexpr std::int32_t kResultFailure = 0;
inline constexpr std::int32_t kResultSuccess = 1;
inline constexpr std::int32_t kResultSomeRoutesFailed = 2;

// The worker that carries out one test: route discovery, route profiling, key
// synchronisation. Create, Resume and WaitForStartup on the creating thread; read the
// result code and GetResultList only once the state name is "Halted" (or the thread
// has finished after a stop).
class ZExpressTcpClientThread : public ZBaseThread {
 public:
  ZExpressTcpClientThread(std::string name, ZTraceEvent on_trace, std::string server,
                          std::int32_t port, std::string route_code,
                          std::shared_ptr<Invoker> invoker = nullptr);
  ~ZExpressTcpClientThread() override;

  // The worker's own list, not a copy: read it only after the worker has halted.
  const RouteList& GetResultList() const { return FRoutes; }
  // The structured record of this test, filled in as it goes; any thread may read it.
  RunRecorder& Record() { return FRecord; }

  std::uint32_t GetTextColor() override { return 0; }
  std::uint32_t GetBackColor() override { return 0x8000000F; }

  const std::string& Server() const { return FServer; }
  std::int32_t Port() const { return FPort; }
  const std::string& RouteCode() const { return FRouteCode; }

  // Before Resume: where the DNS cache lives (default: the user's state folder) and
  // how host names are resolved (default: the system resolver).
  void SetDnsStorePath(std::string path) { FDnsStorePath = std::move(path); }
  void SetHostResolver(HostResolver resolver) { FResolver = std::move(resolver); }

  std::int32_t NextClientSequence();
  std::int32_t NextCircuitSequence();

 protected:
  int Startup() override;
  void ProcessTask() override;
  void Shutdown() override;

  // The three network operations.
  virtual void DiscoverRoutes();
  virtual void ProfileRoutes();
  virtual void SynchronizeKeys();

  // --- route discovery ---
  bool LookupHost(const std::string& host, std::vector<std::string>& addresses);
  int GetRoute(const std::string& address, std::int32_t port, const std::string& body);
  void MergeRoutes(const std::vector<std::string>& answer_lines);
  std::int32_t ProfileRoute(const std::string& entry_text);

  // --- the socket layer ---
  static constexpr std::uint32_t kSocketMessage = 1468;  // first user message + 444
  static constexpr long kSelectEvents = 35;               // FD_READ | FD_WRITE | FD_CLOSE
  static constexpr int kRetryPauseMs = 250;

  // 0, or 3 when the platform refuses a socket (the caller reports it).
  int CreateSocket();
  void FreeSocket();
  enum class ConnectResult { Connected, NoSocket, ConnectFailed, SelectFailed };
  // Socket, blocking connect, notifications. On failure `error` is the error text (or
  // the last error code for NoSocket, in `code`). A failed connect frees the socket.
  ConnectResult ConnectTo(const std::string& address, std::int32_t port, std::string& error, int& code);
  // Sends the encoded bytes of `packet` with retry while the send would block, tracing
  // the header with `tag` once sent. 0 when sent (or a stop was requested), else the
  // socket error code; `error` gets its text.
  int SendWithRetry(const ZExpBuf& packet, const std::uint8_t* bytes, int length, std::string& error,
                    const char* tag = "Tx");
  void SocketWndProc(Message& message);
  void ReceiveData();
  // The oldest queued packet; `bytes` must hold ZExpBuf::MaxPacketLength bytes.
  bool NextPacket(int& length, std::uint8_t* bytes);
  // Connects to a gateway route with the trace lines profiling and key synchronisation
  // share: "0: connect via route …", then "0: connect() failed to …" (the socket is
  // freed again) or "0: Connected to …", followed by "0: WSAAsyncSelect() err …" when
  // the notifications cannot be had. NoSocket sets `final_text` to its report.
  ConnectResult ConnectRoute(const RouteEntryParts& route, std::string& final_text);
  // Gives `packet` a new client sequence number and encodes it into `bytes` (which
  // holds the largest packet); returns the length.
  int EncodeNext(ZExpBuf& packet, std::vector<std::uint8_t>& bytes);
  // Encodes `packet` with a new client sequence number, sends it with retry and, once
  // sent, dumps its bytes under `dump`. 0 when sent, else the socket error code (and
  // `error` its text).
  int SendAndDump(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, std::string& error, const char* tag = "Tx",
                  const char* dump = "Tx");
  // Takes the oldest queued packet and decodes it into `packet`. True when there was
  // one and it is of `type` (any type when `type` is 0); packets of other types are
  // dropped, as every exchange drops what it does not wait for.
  bool TakePacket(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, char type = 0);
  // Traces a progress line only when it differs from the last one traced.
  void TraceChanged(const std::string& line, std::string& last_line);

  // The text of the calling thread's last socket error (and its code).
  std::string LastSocketErrorText(int* code = nullptr);

  RouteList& Routes() { return FRoutes; }

  std::string FSignature;
  std::string FServer;
  std::int32_t FPort = 0;
  std::string FRouteCode;
  RouteList FRoutes;
  std::int32_t FRouteRetries = 0;
  std::int32_t FDetailBlocks = 2;
  std::int32_t FDetailBlockSize = 97;
  std::int32_t FDetailRecords = 25;
  std::string FLastSyncRoute;
  std::int32_t FClientId = 1;
  std::int32_t FClientSubId = 1;
  std::int32_t FClientSequence = 0;
  std::int32_t FCircuitSequence = 701;

  std::string FDnsStorePath;
  HostResolver FResolver;
  std::unique_ptr<DnsCache> FDnsCache;

  SOCKET FSocket = INVALID_SOCKET;
  WindowHandle FSocketWindow = 0;
  std::unique_ptr<PacketFramer> FFramer;  // FLanBuffer and FLanBytes
  std::unique_ptr<ZLargePacketQueueControl> FRxQueue;
  RunRecorder FRecord;
};

}  // namespace zp
