#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "client/HostResolver.h"
#include "run/RouteList.h"
#include "run/RunRecord.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

class DnsCache;

// Route discovery: the walk over the server list, DNS with the persistent cache, and one
// route request per address. The answer's routes are merged into the worker's list.
class ZRouteDiscovery {
 public:
  ZRouteDiscovery(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings,
                  DnsCache& cache, const HostResolver& resolver);

  // Asks every server of `server` (names or addresses separated by ","); the list ends
  // as the last "OK" answer has it.
  void DiscoverRoutes(const std::string& server, std::int32_t port, const std::string& route_code,
                      RouteList& routes);
  // The addresses of `host` from DNS (kept in the cache) or, when DNS fails, from the
  // cache. False when there are none.
  bool LookupHost(const std::string& host, std::vector<std::string>& addresses);
  // One route request to `address`. 1 when the request was made (whatever the answer),
  // 0 when no connection could be had.
  int GetRoute(const std::string& address, std::int32_t port, const std::string& body);
  // Asks the resolver, giving up (false) when a stop is requested first.
  bool Resolve(const std::string& host, std::vector<std::string>& answer);

 private:
  enum class SyncState { kTxRequest, kRxResponse, kAbort };

  bool Connect(const std::string& address, std::int32_t port);
  void SendRequest(const std::string& body);
  void ReceiveResponse();
  // Adds the answer's new routes in order, then drops every route it does not list.
  void MergeRoutes(const std::vector<std::string>& lines);
  void RecordServer(ServerOutcome outcome, const std::string& detail, int routes = 0);

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  const ExchangeSettings& FSettings;
  DnsCache& FCache;
  const HostResolver& FResolver;

  // The request under way.
  RouteList* FRoutes = nullptr;
  std::string FRouteCode;
  std::string FServerItem;
  std::string FAddress;
  std::int32_t FPort = 0;
  SyncState FSyncState = SyncState::kTxRequest;
  std::uint32_t FDeadline = 0;
  bool FDone = false;
  bool FRecorded = false;
  ZExpBuf FPacket;
  std::vector<std::uint8_t> FBytes;
};

}  // namespace zp
