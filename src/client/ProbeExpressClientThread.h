#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "client/ExchangeHost.h"
#include "client/HostResolver.h"
#include "run/RouteList.h"
#include "run/RunRecorder.h"
#include "framework/ProbeBaseThread.h"

namespace zp {

class DnsCache;
class GatewayTransport;
class ZCircuitSteps;
class ZGatewayConnection;
class ZHostLookup;
class ZKeySynchronizer;
class ZRouteDiscovery;
class ZRouteProfiler;

// The worker that carries out one test: route discovery, route profiling, key
// synchronisation, each a class of its own over the worker's one gateway connection.
// The worker keeps the dispatcher, the route list (which is also the result list), the
// DNS cache, the sequence counters and the result.
//
// Create, Resume and WaitForStartup on the creating thread; read the result code and
// GetResultList only once the state is "Halted" (or the thread has finished after a
// stop). Record() may be read at any time.
class ZExpressTcpClientThread : public ZBaseThread, public ExchangeHost {
 public:
  // The dispatcher looks only at these bits of the state number.
  static constexpr ZThreadState kDispatchMask = 0x7F;

  using TransportFactory = std::function<std::unique_ptr<GatewayTransport>()>;

  ZExpressTcpClientThread(std::string name, ZTraceEvent on_trace, std::string server, std::int32_t port,
                          std::string route_code, std::shared_ptr<Invoker> invoker = nullptr);
  ~ZExpressTcpClientThread() override;

  // The worker's own list, not a copy: read it only after the worker has halted.
  const RouteList& GetResultList() const { return FRoutes; }

  std::uint32_t GetTextColor() override { return 0; }
  std::uint32_t GetBackColor() override { return 0x8000000F; }

  const std::string& Server() const { return FServer; }
  std::int32_t Port() const { return FPort; }
  const std::string& RouteCode() const { return FRouteCode; }

  // Before Resume: where the DNS cache lives (default: the user's state folder), how
  // host names are resolved (default: the system resolver) and what carries the bytes
  // (default: the platform's sockets; made on the worker thread).
  void SetDnsStorePath(std::string path) { FDnsStorePath = std::move(path); }
  void SetHostResolver(HostResolver resolver) { FResolver = std::move(resolver); }
  void SetTransportFactory(TransportFactory factory) { FTransportFactory = std::move(factory); }

  // --- what the exchanges use of the worker ---
  void Trace(const std::string& text) override { ZBaseThread::Trace(text); }
  void TraceDump(const std::string& prefix, int length, const void* data) override {
    ZBaseThread::TraceDump(prefix, length, data);
  }
  void SetStatusText(const std::string& text) override { ZBaseThread::SetStatusText(text); }
  void Pause(long ms) override { ZBaseThread::Pause(ms); }
  WaitResult WaitForEvent(long ms) override { return ZBaseThread::WaitForEvent(ms); }
  void Signal() override { ZBaseThread::Signal(); }
  bool StopRequested() const override { return Terminated(); }
  std::uint32_t Now() const override;
  std::int32_t NextClientSequence() override;
  std::int32_t NextCircuitSequence() override;
  void ConnectionClosed() override { SetState(state::Waiting); }
  std::int32_t GetResultCode() const override { return ZBaseThread::GetResultCode(); }
  void SetResultCode(std::int32_t code) override { ZBaseThread::SetResultCode(code); }
  // The structured record of this test, filled in as it goes; any thread may read it.
  RunRecorder& Record() override { return FRecord; }

 protected:
  int Startup() override;
  void ProcessTask() override;
  void Shutdown() override;

  // The three network operations; tests replace them with scripts.
  virtual void DiscoverRoutes();
  virtual void ProfileRoutes();
  virtual void SynchronizeKeys();

  RouteList& Routes() { return FRoutes; }
  // Valid between Startup and Shutdown, on the worker thread.
  ZGatewayConnection& Connection() { return *FConnection; }

  ExchangeSettings FSettings;

 private:
  std::string FSignature;
  std::string FServer;
  std::int32_t FPort = 0;
  std::string FRouteCode;
  RouteList FRoutes;
  std::int32_t FRouteRetries = 0;
  std::string FLastSyncRoute;
  std::int32_t FClientSequence = 0;
  std::int32_t FCircuitSequence = 701;

  std::string FDnsStorePath;
  HostResolver FResolver;
  TransportFactory FTransportFactory;
  std::unique_ptr<DnsCache> FDnsCache;
  std::unique_ptr<GatewayTransport> FTransport;
  std::unique_ptr<ZGatewayConnection> FConnection;
  std::unique_ptr<ZCircuitSteps> FSteps;
  std::unique_ptr<ZHostLookup> FLookup;
  std::unique_ptr<ZRouteDiscovery> FDiscovery;
  std::unique_ptr<ZRouteProfiler> FProfiler;
  std::unique_ptr<ZKeySynchronizer> FKeySynchronizer;
  RunRecorder FRecord;
};

}  // namespace zp
