#include <gtest/gtest.h>

#include "app/ProbeProgress.h"

namespace zp {
namespace {

TEST(ProbeProgressTest, CountsProfiledRoutesAgainstTheLastAcceptedAnswer) {
  ZProbeProgress progress;
  EXPECT_EQ(progress.Describe("Holding"), "Starting");
  for (const char* line : {"00 \"OK 3\"", "01 \"A=1.1.1.1:1\"", "02 \"a=1.1.1.1:1\"", "03 \"\"",
                           "04 \"B=2.2.2.2:2\"", "GetRoute Finished \"x:6900\""})
    progress.OnTrace(line);
  // A refused answer afterwards changes nothing.
  for (const char* line : {"00 \"ERR\"", "01 \"C=3.3.3.3:3\""}) progress.OnTrace(line);
  EXPECT_EQ(progress.RouteCount(), 2);  // the repeat differs only in case; empty lines skipped

  progress.OnTrace("CurrentRoute A 1.1.1.1:1");
  EXPECT_EQ(progress.Describe("UpdateRoutes"), "Profiling route 1 of 2");
  progress.OnTrace("CurrentRoute B 2.2.2.2:2");
  progress.OnTrace("CurrentRoute(0) A 1.1.1.1:1");  // key synchronisation, not profiling
  EXPECT_EQ(progress.CurrentRoute(), 2);
  progress.OnTrace("CurrentRoute X 9.9.9.9:9");
  EXPECT_EQ(progress.Describe("UpdateRoutes"), "Profiling route 3");

  progress.Reset();
  EXPECT_EQ(progress.RouteCount(), 0);
  EXPECT_EQ(progress.Describe("UpdateRoutes"), "Fetching the route list");
}

}  // namespace
}  // namespace zp
