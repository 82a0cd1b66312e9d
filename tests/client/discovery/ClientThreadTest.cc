// The worker as a whole: its start line, the retry when no route came back, and the
// sequence counters every exchange draws from.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/ProbeHarness.h"

namespace zp::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ClientThreadTest : public ProbeHarness {};

TEST_F(ClientThreadTest, WithoutRoutesItAsksTwiceTwentySecondsApartThenHalts) {
  ProbeSettings settings;
  settings.server = "";
  const ProbeRun run = Run(settings);

  EXPECT_THAT(run.lines, ElementsAre(":6900 (26880) RouteCode(A) Sig(0 Bytes)", "UpdateRoutes: Startup Complete",
                                     "No Routes", "No Routes", "Shutdown"));
  ASSERT_EQ(run.ticks.size(), run.lines.size());
  // The second attempt follows the first wait; the halt follows the second wait.
  const std::int32_t gap = static_cast<std::int32_t>(run.ticks[3] - run.ticks[2]);
  EXPECT_GE(gap, 20000);
  EXPECT_LT(gap, 23000);
  EXPECT_GE(static_cast<std::int32_t>(run.ticks[4] - run.ticks[3]), 20000);
  EXPECT_TRUE(run.halted);
  EXPECT_EQ(run.end_state, "Halted");
  EXPECT_EQ(run.result_code, kResultFailure);
  EXPECT_THAT(run.routes, IsEmpty());
  EXPECT_THAT(run.statuses, ElementsAre("No Routes"));
  EXPECT_EQ(run.box_text, "");
}

TEST_F(ClientThreadTest, TheStartLineShowsTheSettings) {
  struct Case {
    std::string server;
    std::int32_t port;
    std::string code;
    std::string line;
  };
  const Case cases[] = {
      {"127.0.0.1", 0x6900, "A", "127.0.0.1:6900 (26880) RouteCode(A) Sig(0 Bytes)"},
      // A port box that read as nothing is port 0; only the code's first letter counts.
      {"127.0.0.213", 0, "Hx", "127.0.0.213:0000 (0) RouteCode(H) Sig(0 Bytes)"},
      {"a,b", 0xFFFF, "", "a,b:FFFF (65535) RouteCode() Sig(0 Bytes)"},
  };
  for (const Case& c : cases) {
    ProbeSettings settings;
    settings.server = c.server;
    settings.port = c.port;
    settings.route_code = c.code;
    settings.resolver = [](const std::string&, std::vector<std::string>&) { return false; };
    settings.stop_when = [](const ProbeRun& r) { return r.lines.size() >= 2; };
    const ProbeRun run = Run(settings);
    ASSERT_GE(run.lines.size(), 2u);
    EXPECT_EQ(run.lines[0], c.line);
    EXPECT_EQ(run.lines[1], "UpdateRoutes: Startup Complete");
  }
}

TEST(ClientSequenceTest, CountersStartWhereTheProtocolExpectsAndWrapAfter9999) {
  ZExpressTcpClientThread worker("ExpressT", nullptr, "", 0, "A");
  EXPECT_EQ(worker.NextClientSequence(), 1);
  EXPECT_EQ(worker.NextCircuitSequence(), 702);
  for (int i = 2; i < 9999; ++i) worker.NextClientSequence();
  EXPECT_EQ(worker.NextClientSequence(), 9999);
  EXPECT_EQ(worker.NextClientSequence(), 1);
  for (int i = 703; i < 9999; ++i) worker.NextCircuitSequence();
  EXPECT_EQ(worker.NextCircuitSequence(), 9999);
  EXPECT_EQ(worker.NextCircuitSequence(), 1);
  EXPECT_EQ(worker.NextCircuitSequence(), 2);
}

}  // namespace
}  // namespace zp::test
