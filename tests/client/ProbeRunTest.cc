// The run model over the real worker and the simulated gateway: what a front end reads
// of a run, without looking at a single trace line.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/QueueInvoker.h"
#include "GatewaySimulator.h"
#include "client/NeverAccepting.h"
#include "client/ProbeRun.h"
#include "framework/Format.h"
#include "platform/Random.h"
#include "platform/Tick.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

using sim::LoginReplyConfig;
using sim::RouteConfig;

struct RunCase {
  const char* name;
  std::vector<RouteConfig> routes;
  bool server_down = false;
  bool server_never_accepts = false;  // the connect to it never completes
  // A stop is asked for once the snapshot satisfies this.
  std::function<bool(const RunSnapshot&)> stop_when;
  std::int32_t result;
  std::vector<RouteOutcome> outcomes;
  KeyOutcome key;
  bool stopped = false;
};

std::ostream& operator<<(std::ostream& os, const RunCase& c) { return os << c.name; }

class ProbeRunTest : public ::testing::TestWithParam<RunCase> {
 protected:
  void SetUp() override {
    testing::SetRandomSeed(0);
    testing::SetTimeScale(20.0);
    store_ = std::filesystem::temp_directory_path() / ("zp-run-" + std::to_string(CurrentProcessId()) + ".db");
  }
  void TearDown() override {
    sim_.Stop();
    testing::ResetClock();
    std::filesystem::remove(store_);
  }

  // Runs the case as a front end does: start, poll, stop when asked, collect.
  RunSnapshot RunCaseOf(const RunCase& c, std::vector<RunSnapshot>& seen, int& lines) {
    for (RouteConfig r : c.routes) sim_.AddRoute(r);
    std::uint16_t port = sim_.AddRouteServer({.port = 0});
    if (!c.server_down) sim_.Start();
    NeverAccepting hole;
    if (c.server_never_accepts) port = hole.Port();
    auto invoker = std::make_shared<QueueInvoker>();
    RunOptions options;
    options.settings = {"127.0.0.1", c.server_down ? 1 : static_cast<std::int32_t>(port), "A"};
    options.dns_store_path = store_.string();
    ZProbeRun run(options, [&](const TraceLine&) { ++lines; }, invoker);
    EXPECT_TRUE(run.Start());
    Event never(Event::Reset::Manual);
    const auto t0 = std::chrono::steady_clock::now();
    std::optional<std::chrono::steady_clock::time_point> stopped_at;
    while (run.Poll() && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(30)) {
      seen.push_back(run.Snapshot());
      if (c.stop_when && !stopped_at && c.stop_when(seen.back())) {
        stopped_at = std::chrono::steady_clock::now();
        run.Stop();
      }
      invoker->WaitServing(never, 5);
    }
    run.WaitFinished();
    if (stopped_at) stop_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - *stopped_at).count();
    const RunSnapshot last = run.Snapshot();
    invoker->Close();
    return last;
  }

  sim::GatewaySimulator sim_;
  std::filesystem::path store_;
  double stop_seconds = 0;  // from the stop to the worker's end
};

TEST_P(ProbeRunTest, TheRecordTellsTheOutcome) {
  const RunCase& c = GetParam();
  std::vector<RunSnapshot> seen;
  int lines = 0;
  const RunSnapshot s = RunCaseOf(c, seen, lines);

  EXPECT_GT(lines, 0);
  EXPECT_TRUE(s.started);
  EXPECT_TRUE(s.finished);
  EXPECT_EQ(s.phase, RunPhase::Finished);
  EXPECT_EQ(s.stopped, c.stopped);
  EXPECT_EQ(s.stop_state.empty(), !c.stopped);
  // A stop ends a test within a second at any point; the bound is generous for a slow
  // machine, far below the platform's own connect limit.
  EXPECT_LT(stop_seconds, 3.0);
  EXPECT_EQ(s.result_code, c.result);
  EXPECT_EQ(s.settings.server, "127.0.0.1");
  ASSERT_EQ(s.routes.size(), c.outcomes.size());
  for (std::size_t i = 0; i < s.routes.size(); ++i) {
    EXPECT_EQ(s.routes[i].outcome, c.outcomes[i]) << "route " << i + 1;
    EXPECT_EQ(s.routes[i].name, "r" + std::to_string(i + 1));
    EXPECT_EQ(s.routes[i].failed, s.routes[i].HasScore() && c.outcomes[i] != RouteOutcome::Scored);
    // A route stopped keeps the step it was in; one never reached has none.
    EXPECT_EQ(s.routes[i].step == RouteStep::None, c.outcomes[i] == RouteOutcome::NotTried);
  }
  EXPECT_EQ(s.key.outcome, c.key);
  if (c.key == KeyOutcome::Received) {
    EXPECT_GT(s.key.bytes, 100);
  }
  ASSERT_FALSE(s.servers.empty());
  const ServerOutcome server = c.server_never_accepts ? ServerOutcome::Stopped
                               : c.server_down        ? ServerOutcome::ConnectFailed
                                                      : ServerOutcome::Answered;
  EXPECT_EQ(s.servers[0].outcome, server);
  if (!c.server_down && !c.server_never_accepts) {
    EXPECT_EQ(s.servers[0].routes, static_cast<int>(c.routes.size()));
  }
  // Each server asked says which round asked it; a run that ended waits for nothing.
  EXPECT_EQ(s.servers.front().round, 1);
  EXPECT_EQ(s.servers.back().round, s.discovery_rounds);
  EXPECT_EQ(s.wait.kind, WaitKind::None);

  // What a front end counts down while the worker waits without a line to show for it.
  const auto first_wait = [&](WaitKind kind) -> std::optional<RunWait> {
    for (const RunSnapshot& p : seen)
      if (p.wait.kind == kind) return p.wait;
    return std::nullopt;
  };
  if (c.server_never_accepts) {
    const auto connect = first_wait(WaitKind::Connect);
    ASSERT_TRUE(connect.has_value());
    EXPECT_EQ(connect->target, s.servers[0].address + ":" + Format("%4.4X", static_cast<unsigned>(s.servers[0].port)));
    EXPECT_EQ(connect->total_ms, 0u);
  }
  if (c.server_down) {
    const auto retry = first_wait(WaitKind::RouteRetry);
    ASSERT_TRUE(retry.has_value());
    EXPECT_EQ(retry->target, "127.0.0.1");
    EXPECT_EQ(retry->total_ms, 20000u);
    EXPECT_EQ(retry->attempt, 1);
    EXPECT_EQ(retry->attempts, 2);
    EXPECT_LE(retry->left_ms, 20000);
  }

  // Progress as the window shows it: the phases in order, route k of n counting up.
  int last_phase = -1, last_route = 0;
  for (const RunSnapshot& p : seen) {
    EXPECT_GE(static_cast<int>(p.phase), last_phase == static_cast<int>(RunPhase::WaitingForRoutes) ? 0 : last_phase);
    EXPECT_GE(p.current_route, last_route);
    last_phase = static_cast<int>(p.phase);
    last_route = p.current_route;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ProbeRunTest,
    ::testing::Values(
        RunCase{"healthy", {{.name = "r1"}, {.name = "r2"}}, false, false, nullptr, 1,
                {RouteOutcome::Scored, RouteOutcome::Scored}, KeyOutcome::Received},
        RunCase{"one route refusing", {{.name = "r1"}, {.name = "r2", .refuse = true}}, false, false, nullptr, 2,
                {RouteOutcome::Scored, RouteOutcome::ConnectFailed}, KeyOutcome::Received},
        RunCase{"login refused everywhere",
                {{.name = "r1", .profile_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 3, .text = "NO"},
                  .key_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 3, .text = "NO"}}},
                false, false, nullptr, 0, {RouteOutcome::LoginRefused}, KeyOutcome::Failed},
        RunCase{"stopped while profiling the second route",
                {{.name = "r1"}, {.name = "r2", .profile_login = {.kind = LoginReplyConfig::Kind::Silent}},
                 {.name = "r3"}},
                // The profile cut short scores as failed in the result code; the record
                // knows it was stopped and where, and that the third was never tried.
                false, false,
                [](const RunSnapshot& s) {
                  return s.current_route == 2 && s.routes[1].step == RouteStep::WaitingForLogin;
                },
                2, {RouteOutcome::Scored, RouteOutcome::Stopped, RouteOutcome::NotTried}, KeyOutcome::NotReached, true},
        RunCase{"route server down", {}, true, false, nullptr, 0, {}, KeyOutcome::NotReached},
        RunCase{"route server down, stopped while waiting to ask again", {}, true, false,
                [](const RunSnapshot& s) { return s.phase == RunPhase::WaitingForRoutes; }, 0, {},
                KeyOutcome::NotReached, true},
        RunCase{"route server never accepts, stopped while connecting", {}, false, true,
                [](const RunSnapshot& s) { return s.elapsed_seconds > 0.3; }, 0, {}, KeyOutcome::NotReached, true}),
    [](const ::testing::TestParamInfo<RunCase>& param) {
      std::string name = param.param.name;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

}  // namespace
}  // namespace zp::test
