#include "client/RouteProfiler.h"

#include "client/RouteProfile.h"
#include "framework/Format.h"
#include "run/RunRecorder.h"

namespace zp {

ZRouteProfiler::ZRouteProfiler(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                               const ExchangeSettings& settings)
    : FHost(host), FConnection(connection), FSteps(steps), FSettings(settings) {}

void ZRouteProfiler::ProfileRoutes(RouteList& routes) {
  std::size_t failed = 0;
  std::size_t profiled = 0;
  for (std::size_t i = 0; i < routes.size(); ++i) {
    if (FHost.StopRequested()) break;
    RouteEntry& entry = routes[i];
    FHost.Record().BeginRoute(i);
    const RouteProfileResult result = ZRouteProfile(FHost, FConnection, FSteps, FSettings, i, entry.text).Run();
    FHost.Trace(Format("%s Score(%d)", entry.text.c_str(), result.score));
    // A route can only miss the records it was sent: a higher count is a broken answer,
    // which fails the route as surely as missing every record.
    const bool route_failed = result.score >= FSettings.FDetailRecords;
    if (route_failed) {
      FHost.SetResultCode(kResultSomeRoutesFailed);
      ++failed;
    }
    entry.score = result.score;
    ++profiled;
    // A route a stop cut short is not counted as failed in the record: it has no score.
    const bool cut_short = result.outcome == RouteOutcome::NotTried || result.outcome == RouteOutcome::Stopped;
    FHost.Record().EndRoute(i, result.outcome, result.score, route_failed && !cut_short, result.seconds,
                            result.detail, result.error);
  }
  if (profiled == routes.size() && failed == routes.size()) FHost.SetResultCode(kResultFailure);
}

}  // namespace zp
