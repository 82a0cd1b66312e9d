#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "run/RouteList.h"

namespace zp {

class ZHostLookup;

// Route discovery: the walk over the server list, each host name looked up (ZHostLookup)
// and each address asked with a route request of its own (ZRouteRequest). The answers'
// routes are merged into the worker's list; every server asked goes to the run record.
class ZRouteDiscovery {
 public:
  // Everything given must outlive it.
  ZRouteDiscovery(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings,
                  ZHostLookup& lookup);

  // Asks every server of `server` (names or addresses separated by ","); the list ends as
  // the last "OK" answer has it. `round` is the discovery round (1 or 2).
  void DiscoverRoutes(const std::string& server, std::int32_t port, const std::string& route_code, RouteList& routes,
                      int round = 1);

 private:
  // One request to `address`; true when a connection was had (whatever the answer).
  bool AskAddress(const std::string& item, const std::string& address, std::int32_t port,
                  const std::string& route_code, int round, RouteList& routes);
  // Adds the answer's new routes in order, then drops every route it does not list.
  void MergeRoutes(const std::vector<std::string>& lines, RouteList& routes);

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  const ExchangeSettings& FSettings;
  ZHostLookup& FLookup;
};

}  // namespace zp
