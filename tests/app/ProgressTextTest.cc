#include <gtest/gtest.h>

#include "app/ProgressText.h"

namespace zp {
namespace {

TEST(ProgressTextTest, EachPhaseHasItsTextAndProfilingCountsRoutes) {
  struct Case {
    RunPhase phase;
    int current_route, routes;
    const char* want;
  };
  const Case cases[] = {
      {RunPhase::Starting, 0, 0, "Starting"},
      {RunPhase::DiscoveringRoutes, 0, 0, "Fetching the route list"},
      {RunPhase::WaitingForRoutes, 0, 0, "No routes: asking again soon"},
      {RunPhase::ProfilingRoutes, 1, 3, "Profiling route 1 of 3"},
      {RunPhase::ProfilingRoutes, 3, 3, "Profiling route 3 of 3"},
      {RunPhase::ProfilingRoutes, 4, 3, "Profiling route 4"},  // never more than known
      {RunPhase::ProfilingRoutes, 0, 3, "Fetching the route list"},
      {RunPhase::SynchronizingKey, 3, 3, "Fetching the public key"},
      {RunPhase::Finished, 3, 3, "Finished"},
  };
  for (const Case& c : cases) {
    RunSnapshot run;
    run.phase = c.phase;
    run.current_route = c.current_route;
    run.routes.resize(static_cast<std::size_t>(c.routes));
    EXPECT_EQ(ProgressText(run), c.want) << PhaseName(c.phase) << " " << c.current_route;
  }
}

}  // namespace
}  // namespace zp
