#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "client/HostResolver.h"
#include "client/RouteList.h"
#include "framework/ProbeBaseThread.h"

namespace zp {


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
};

}  // namespace zp
