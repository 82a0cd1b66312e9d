#pragma once
#include <string>

#include "client/CircuitSteps.h"
#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "run/RouteList.h"

namespace zp {

// Key synchronisation: the routes form a ring, and each route in turn gets an attempt of
// its own (ZKeyAttempt) until one delivers the key, a route refuses, an error ends it, or
// every route has had its few tries (the test then ends without the key, saying why).
class ZKeySynchronizer {
 public:
  // Everything given must outlive it.
  ZKeySynchronizer(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps);

  // Runs over `routes` from the one after `last_sync_route` (found whatever its letter
  // case); `last_sync_route` becomes the route last connected.
  void SynchronizeKeys(const RouteList& routes, std::string& last_sync_route);

 private:
  void TraceRouteLines(const RouteList& routes);

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  ZCircuitSteps& FSteps;
};

}  // namespace zp
