#pragma once
#include "client/CircuitSteps.h"
#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "run/RouteList.h"

namespace zp {

// Route profiling: every route in order gets a profile of its own (ZRouteProfile), and
// its score and outcome go to the route list, the run record and the result code.
class ZRouteProfiler {
 public:
  // Everything given must outlive it.
  ZRouteProfiler(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                 const ExchangeSettings& settings);

  // Profiles every route in order until a stop, and sets each score; sets the result
  // code to 2 for a failed route and to 0 when all of them failed.
  void ProfileRoutes(RouteList& routes);

 private:
  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  ZCircuitSteps& FSteps;
  const ExchangeSettings& FSettings;
};

}  // namespace zp
