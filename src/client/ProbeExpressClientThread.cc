#include "client/ProbeExpressClientThread.h"

#include <cstdio>

#include "client/ClientFormat.h"
#include "client/DnsCache.h"
#include "net/ProbeLargePacketQueue.h"
#include "net/ZWinSock.h"
#include "platform/Registry.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

ZExpressTcpClientThread::ZExpressTcpClientThread(std::string name, ZTraceEvent on_trace,
                                                 std::string server, std::int32_t port,
                                                 std::string route_code,
                                                 std::shared_ptr<Invoker> invoker)
    : ZBaseThread(std::move(name), std::move(on_trace), std::move(invoker)),
      FServer(std::move(server)),
      FPort(port),
      FRouteCode(route_code.substr(0, 1)) {
  FRecord.Begin({FServer, FPort, FRouteCode}, GetName());
}

ZExpressTcpClientThread::~ZExpressTcpClientThread() {
  // Stop and join here, while the subclass's members still exist.
  Terminate();
  WaitFinished();
}

std::int32_t ZExpressTcpClientThread::NextClientSequence() {
  if (++FClientSequence > 9999) FClientSequence = 1;
  return FClientSequence;
}

std::int32_t ZExpressTcpClientThread::NextCircuitSequence() {
  if (++FCircuitSequence > 9999) FCircuitSequence = 1;
  return FCircuitSequence;
}

int ZExpressTcpClientThread::Startup() {
  const int result = ZBaseThread::Startup();
  FRoutes.clear();
  FRouteRetries = 0;
  FSocket = INVALID_SOCKET;
  // Made here so that it belongs to the worker thread: its notifications are then
  // dispatched by the worker's own waits.
  FSocketWindow = CreateMessageWindow([this](Message& m) { SocketWndProc(m); });
  FFramer = std::make_unique<PacketFramer>(GetName(), OnTrace());
  FCircuitSequence = 701;
  FClientSequence = 0;
  FRxQueue = std::make_unique<ZLargePacketQueueControl>("Rx");
  FDnsCache = std::make_unique<DnsCache>(FDnsStorePath.empty() ? Registry::DefaultPath() : FDnsStorePath);
  AttachWinSock(GetName());
  return result;
}

void ZExpressTcpClientThread::Shutdown() {
  FreeSocket();
  DestroyMessageWindow(FSocketWindow);
  FSocketWindow = 0;
  FRxQueue.reset();
  FDnsCache.reset();
  DetachWinSock(GetName());
  ZBaseThread::Shutdown();
}

void ZExpressTcpClientThread::ProcessTask() {
  switch (GetState() & 0x7F) {
    case state::Holding:
      SetState(state::Startup);
      break;
    case state::Startup:
      Trace(Format("%s:%4.4X (%d) RouteCode(%s) Sig(%d Bytes)", FServer.c_str(), static_cast<unsigned>(FPort), FPort,
                   FRouteCode.c_str(), static_cast<int>(FSignature.size())));
      SetState(state::UpdateRoutes);
      break;
    case state::UpdateRoutes:
      DiscoverRoutes();
      if (!FRoutes.empty()) {
        ProfileRoutes();
        SetState(state::SyncKeyPage);
      } else {
        SetStatusText("No Routes");
        Trace("No Routes");
        SetWaitTimer(20);
        SetState(state::WaitRoutes);
      }
      break;
    case state::WaitRoutes:
      if (WaitTimerExpired()) {
        ++FRouteRetries;
        SetState(FRouteRetries >= 2 ? state::Halted : state::UpdateRoutes);
      } else {
        WaitForEvent(1000);
      }
      break;
    case state::SyncKeyPage:
      SynchronizeKeys();
      SetState(state::Halted);
      break;
    case state::Process:
      SetState(state::Waiting);
      break;
    case state::Waiting: {
      const WaitResult r = WaitForEvent(2000);
      if (r == WaitSignalled) SetState(state::Process);
      if (r == WaitTerminate) SetState(state::Down);
      break;
    }
    case state::Down:
      SetState(state::Halted);
      break;
    default:
      break;
  }
}

ZExpressTcpClientThread::ConnectResult ZExpressTcpClientThread::ConnectRoute(const RouteEntryParts& route,
                                                                             std::string& final_text) {
  const char* name = route.name.c_str();
  const char* address = route.address.c_str();
  const auto hex_port = static_cast<unsigned>(route.port);
  Trace(Format("0: connect via route %s %s %4.4X (%d)", name, address, hex_port, route.port));
  std::string error;
  int code = 0;
  const ConnectResult result = ConnectTo(route.address, route.port, error, code);
  switch (result) {
    case ConnectResult::NoSocket:
      final_text = Format("0: couldn't create socket Error(%d)", code);
      break;
    case ConnectResult::ConnectFailed:
      Trace(Format("0: connect() failed to %s %s %4.4X (%d) %s", name, address, hex_port, route.port, error.c_str()));
      FreeSocket();
      break;
    case ConnectResult::SelectFailed:
    case ConnectResult::Connected:
      Trace(Format("0: Connected to %s %s %4.4X (%d)", name, address, hex_port, route.port));
      if (result == ConnectResult::SelectFailed) Trace("0: WSAAsyncSelect() err " + error);
      break;
  }
  return result;
}

int ZExpressTcpClientThread::EncodeNext(ZExpBuf& packet, std::vector<std::uint8_t>& bytes) {
  bytes.resize(ZExpBuf::MaxPacketLength);
  packet.ClientSequence = NextClientSequence();
  int length = 0;
  packet.Encode(length, bytes.data());
  return length;
}

int ZExpressTcpClientThread::SendAndDump(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, std::string& error,
                                         const char* tag, const char* dump) {
  const int length = EncodeNext(packet, bytes);
  const int code = SendWithRetry(packet, bytes.data(), length, error, tag);
  if (code == 0) TraceDump(dump, length, bytes.data());
  return code;
}

bool ZExpressTcpClientThread::TakePacket(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, char type) {
  bytes.resize(ZExpBuf::MaxPacketLength);
  int length = 0;
  if (!NextPacket(length, bytes.data())) return false;
  return packet.Decode(length, bytes.data()) > 0 && (type == 0 || packet.PacketType == type);
}

void ZExpressTcpClientThread::TraceChanged(const std::string& line, std::string& last_line) {
  if (line == last_line) return;
  Trace(line);
  last_line = line;
}

}  // namespace zp
