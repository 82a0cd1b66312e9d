// Key synchronisation through the real worker thread: the ring over failing routes
// circles until a stop or the end of its tries, and the stop has to end it promptly from
// inside any wait. Every
// way a single attempt ends is in the scripted key tests.
#include <chrono>

#include "GatewaySimulator.h"
#include "client/ProbeHarness.h"

namespace zp::test {
namespace {

class SynchronizeKeysTest : public ProbeHarness {
 protected:
  void TearDown() override {
    sim_.Stop();  // before the clock goes back to real time under the simulator
    ProbeHarness::TearDown();
  }
  sim::GatewaySimulator sim_;
};

int CountPrefix(const ProbeRun& run, const std::string& prefix) {
  return static_cast<int>(std::count_if(run.lines.begin(), run.lines.end(),
                                        [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

TEST_F(SynchronizeKeysTest, StopEndsACirclingSynchronisationPromptly) {
  testing::SetTimeScale(1.0);
  const std::string r1 = sim_.AddRoute({.name = "r1", .refuse = true});
  const std::string r2 = sim_.AddRoute({.name = "r2", .key_login = {.kind = sim::LoginReplyConfig::Kind::Silent}});
  ProbeSettings settings;
  settings.server = "127.0.0.1";
  settings.port = sim_.AddRouteServer({.port = 0});
  sim_.Start();
  std::chrono::steady_clock::time_point stopped{};
  settings.stop_when = [&stopped](const ProbeRun& r) {
    if (CountPrefix(r, "CurrentRoute(") < 2) return false;
    stopped = std::chrono::steady_clock::now();
    return true;
  };
  const ProbeRun run = Run(settings);
  const double after_stop = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
  ASSERT_NE(stopped, std::chrono::steady_clock::time_point{}) << Dump(run);
  EXPECT_LT(after_stop, 1.0);
  EXPECT_FALSE(run.halted);
  EXPECT_TRUE(run.Has("Shutdown"));
  EXPECT_EQ(run.ScoreOf(r1), 25);
  EXPECT_EQ(run.ScoreOf(r2), 0);
  EXPECT_EQ(run.result_code, kResultSomeRoutesFailed);
}

}  // namespace
}  // namespace zp::test
