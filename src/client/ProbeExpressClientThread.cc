#include "client/ProbeExpressClientThread.h"

#include "client/CircuitSteps.h"
#include "client/DnsCache.h"
#include "client/GatewayConnection.h"
#include "client/HostLookup.h"
#include "client/KeySynchronizer.h"
#include "client/RouteDiscovery.h"
#include "client/RouteProfiler.h"
#include "client/SocketTransport.h"
#include "framework/Format.h"
#include "net/ZWinSock.h"
#include "platform/Registry.h"
#include "platform/Tick.h"

namespace zp {

ZExpressTcpClientThread::ZExpressTcpClientThread(std::string name, ZTraceEvent on_trace, std::string server,
                                                 std::int32_t port, std::string route_code,
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

std::uint32_t ZExpressTcpClientThread::Now() const { return GetTickCount(); }

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
  // Made here so that it belongs to the worker thread: its notifications are then
  // dispatched by the worker's own waits.
  FTransport = FTransportFactory ? FTransportFactory() : std::make_unique<SocketTransport>(StopEvent());
  FConnection = std::make_unique<ZGatewayConnection>(*this, *FTransport);
  FSteps = std::make_unique<ZCircuitSteps>(*this, *FConnection, FSettings);
  FCircuitSequence = 701;
  FClientSequence = 0;
  FDnsCache = std::make_unique<DnsCache>(FDnsStorePath.empty() ? Registry::DefaultPath() : FDnsStorePath,
                                         [this] { return StopRequested(); });
  FLookup = std::make_unique<ZHostLookup>(*this, *FDnsCache, FResolver);
  FDiscovery = std::make_unique<ZRouteDiscovery>(*this, *FConnection, FSettings, *FLookup);
  FProfiler = std::make_unique<ZRouteProfiler>(*this, *FConnection, *FSteps, FSettings);
  FKeySynchronizer = std::make_unique<ZKeySynchronizer>(*this, *FConnection, *FSteps);
  AttachWinSock(GetName());
  return result;
}

void ZExpressTcpClientThread::Shutdown() {
  FKeySynchronizer.reset();
  FProfiler.reset();
  FDiscovery.reset();
  FLookup.reset();
  FSteps.reset();
  FConnection.reset();  // frees the socket
  FTransport.reset();
  FDnsCache.reset();
  DetachWinSock(GetName());
  ZBaseThread::Shutdown();
}

void ZExpressTcpClientThread::ProcessTask() {
  switch (GetState() & kDispatchMask) {
    case state::Holding:
      SetState(state::Startup);
      break;
    case state::Startup:
      Trace(Format("%s:%4.4X (%d) RouteCode(%s) Sig(%d Bytes)", FServer.c_str(), static_cast<unsigned>(FPort), FPort,
                   FRouteCode.c_str(), static_cast<int>(FSignature.size())));
      SetState(state::UpdateRoutes);
      break;
    case state::UpdateRoutes:
      FRecord.BeginDiscoveryRound();
      DiscoverRoutes();
      FRecord.SetRoutes(FRoutes);
      if (!FRoutes.empty()) {
        ProfileRoutes();
        SetState(state::SyncKeyPage);
      } else {
        SetStatusText("No Routes");
        Trace("No Routes");
        SetWaitTimer(kRouteRetrySeconds);
        // The wait first, so that a front end never sees the phase without its countdown.
        RecordWait(WaitKind::RouteRetry, FServer, kRouteRetrySeconds * 1000u, FRouteRetries + 1, kRouteRounds);
        FRecord.SetPhase(RunPhase::WaitingForRoutes);
        SetState(state::WaitRoutes);
      }
      break;
    case state::WaitRoutes:
      if (WaitTimerExpired()) {
        ClearWait();
        ++FRouteRetries;
        SetState(FRouteRetries >= kRouteRounds ? state::Halted : state::UpdateRoutes);
      } else {
        WaitForEvent(1000);
      }
      break;
    case state::SyncKeyPage:
      FRecord.SetPhase(RunPhase::SynchronizingKey);
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

void ZExpressTcpClientThread::DiscoverRoutes() {
  FDiscovery->DiscoverRoutes(FServer, FPort, FRouteCode, FRoutes, FRouteRetries + 1);
}

void ZExpressTcpClientThread::ProfileRoutes() { FProfiler->ProfileRoutes(FRoutes); }

void ZExpressTcpClientThread::SynchronizeKeys() { FKeySynchronizer->SynchronizeKeys(FRoutes, FLastSyncRoute); }

}  // namespace zp
