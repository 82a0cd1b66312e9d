#include "run/ProgressText.h"

#include <cmath>
#include <cstdio>

#include "run/RunConstants.h"

namespace zp {

std::string ProgressText(const RunSnapshot& run, double phase_seconds) {
  switch (run.phase) {
    case RunPhase::Starting:
      return "Starting";
    case RunPhase::DiscoveringRoutes:
      return "Fetching the route list";
    case RunPhase::WaitingForRoutes: {
      // After the last round the wait ends the test instead of asking again.
      const bool last = run.discovery_rounds >= kRouteRounds;
      const double left = std::ceil(kRouteRetrySeconds - phase_seconds);
      if (left < 1) return last ? "No routes: ending the test" : "No routes: asking again";
      char text[64];
      std::snprintf(text, sizeof text, last ? "No routes: ending the test in %d s" : "No routes: asking again in %d s",
                    static_cast<int>(left));
      return text;
    }
    case RunPhase::ProfilingRoutes: {
      if (run.current_route <= 0) return "Fetching the route list";
      char text[64];
      if (run.RouteCount() >= run.current_route)
        std::snprintf(text, sizeof text, "Profiling route %d of %d", run.current_route, run.RouteCount());
      else
        std::snprintf(text, sizeof text, "Profiling route %d", run.current_route);
      return text;
    }
    case RunPhase::SynchronizingKey:
      return "Fetching the public key";
    case RunPhase::Finished:
      return "Finished";
  }
  return {};
}

}  // namespace zp
