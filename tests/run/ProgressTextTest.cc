#include <gtest/gtest.h>

#include "run/ProgressText.h"

namespace zp {
namespace {

TEST(ProgressTextTest, EachPhaseHasItsTextAndProfilingCountsRoutes) {
  struct Case {
    RunPhase phase;
    int current_route, routes;
    const char* want;
    double phase_seconds = 0;
    int rounds = 1;
  };
  const Case cases[] = {
      {RunPhase::Starting, 0, 0, "Starting"},
      {RunPhase::DiscoveringRoutes, 0, 0, "Fetching the route list"},
      // The wait before asking again counts down from 20 s; after the last round it ends the test.
      {RunPhase::WaitingForRoutes, 0, 0, "No routes: asking again in 20 s"},
      {RunPhase::WaitingForRoutes, 0, 0, "No routes: asking again in 14 s", 6.2},
      {RunPhase::WaitingForRoutes, 0, 0, "No routes: asking again in 1 s", 19.5},
      {RunPhase::WaitingForRoutes, 0, 0, "No routes: asking again", 21},
      {RunPhase::WaitingForRoutes, 0, 0, "No routes: ending the test in 9 s", 11, 2},
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
    run.discovery_rounds = c.rounds;
    EXPECT_EQ(ProgressText(run, c.phase_seconds), c.want) << PhaseName(c.phase) << " " << c.phase_seconds;
  }
}

}  // namespace
}  // namespace zp
