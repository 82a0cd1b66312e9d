#include "app/ProgressText.h"

#include <cstdio>

namespace zp {

std::string ProgressText(const RunSnapshot& run) {
  switch (run.phase) {
    case RunPhase::Starting:
      return "Starting";
    case RunPhase::DiscoveringRoutes:
      return "Fetching the route list";
    case RunPhase::WaitingForRoutes:
      return "No routes: asking again soon";
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
