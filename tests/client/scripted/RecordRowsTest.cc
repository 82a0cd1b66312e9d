// What the run record says while the exchanges run, over the scripted transport: where a
// stop found each route's profile, what the worker was waiting for and how long it had
// left, and which discovery round asked each route server.
#include <gtest/gtest.h>

#include <optional>

#include "client/scripted/ScriptedRig.h"
#include "net/ZWinSock.h"

namespace zp::test {
namespace {

using sim::LoginReplyConfig;
using sim::RouteConfig;

// r1 is stopped where `stop_at` says (a line beginning with it); r2 is never reached.
struct StopRow {
  const char* name;
  RouteConfig route;
  std::function<void(ScriptedTransport&)> fault;
  std::string stop_at;  // empty: stopped before profiling began
  RouteStep step;
  RouteOutcome outcome;
};

std::ostream& operator<<(std::ostream& os, const StopRow& row) { return os << row.name; }

class StoppedRouteTest : public ::testing::TestWithParam<StopRow> {};

TEST_P(StoppedRouteTest, KeepsTheStepItWasInAndNoScore) {
  const StopRow& row = GetParam();
  ScriptedRig rig;
  rig.AddRoute(row.route);
  rig.AddRoute();
  if (row.fault) row.fault(rig.transport);
  rig.host.stop = row.stop_at.empty();
  rig.host.stop_at = [&](const std::string& line) { return !row.stop_at.empty() && line.starts_with(row.stop_at); };
  rig.host.record.SetRoutes(rig.routes);
  rig.profiler.ProfileRoutes(rig.routes);

  const RunSnapshot s = rig.host.record.Snapshot();
  ASSERT_EQ(s.routes.size(), 2u);
  EXPECT_EQ(s.routes[0].step, row.step) << rig.host.Dump();
  EXPECT_EQ(s.routes[0].outcome, row.outcome);
  EXPECT_FALSE(s.routes[0].failed) << "a stop is not the route's failure";
  EXPECT_EQ(s.routes[0].detail, "");
  EXPECT_EQ(s.routes[0].error, 0);
  EXPECT_EQ(s.routes[0].HasScore(), row.outcome == RouteOutcome::Scored);
  EXPECT_EQ(s.routes[1].outcome, RouteOutcome::NotTried);
  EXPECT_EQ(s.routes[1].step, RouteStep::None);
  EXPECT_EQ(s.wait.kind, WaitKind::None) << "a profile that ends leaves no wait behind";
  EXPECT_EQ(rig.transport.connects.size(), row.step == RouteStep::None ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StoppedRouteTest,
    ::testing::Values(
        StopRow{"before profiling", {}, nullptr, "", RouteStep::None, RouteOutcome::NotTried},
        // The connect itself is cut short: no refusal is recorded.
        StopRow{"while connecting", {.refuse = true}, nullptr, "0: connect via route", RouteStep::Connecting,
                RouteOutcome::Stopped},
        StopRow{"waiting for the first login reply", {.profile_login = {.kind = LoginReplyConfig::Kind::Silent}},
                nullptr, "<Tx>     Sa (L)Login", RouteStep::WaitingForLogin, RouteOutcome::Stopped},
        StopRow{"waiting after a retransmitted login", {.profile_login = {.kind = LoginReplyConfig::Kind::Silent}},
                nullptr, "Timeout waiting for login response Retry(2)", RouteStep::WaitingForLogin,
                RouteOutcome::Stopped},
        // The socket is full at the second record: the stop comes during the retry pause.
        StopRow{"sending the records", {}, FailSend('D', 2, WSAEWOULDBLOCK), "<!Tx>", RouteStep::SendingRecords,
                RouteOutcome::Stopped},
        StopRow{"waiting for the heartbeat", {.profile_heartbeat = false}, nullptr, "25 Detail Records Transmitted",
                RouteStep::WaitingForHeartbeat, RouteOutcome::Stopped},
        // The heartbeat has scored the route: a stop during the logout keeps the score.
        StopRow{"logging out", {}, nullptr, "r1 Profiling Complete", RouteStep::LoggingOut, RouteOutcome::Scored}),
    RowName<StopRow>);

// The wait the record shows `after_ms` of scripted time after the first line that begins
// with `anchor`.
struct WaitRow {
  const char* name;
  std::function<void(ScriptedRig&)> run;
  std::string anchor;
  std::uint32_t after_ms;
  RunWait wait;  // left_ms to within a few passes of the exchange; waited_ms is not compared
};

std::ostream& operator<<(std::ostream& os, const WaitRow& row) { return os << row.name; }

class WaitRecordTest : public ::testing::TestWithParam<WaitRow> {};

TEST_P(WaitRecordTest, CountsDownOnTheWorkersClock) {
  const WaitRow& row = GetParam();
  ScriptedRig rig;
  std::optional<std::uint32_t> anchored;
  std::optional<RunWait> seen;
  rig.host.stop_at = [&](const std::string& line) {
    if (!anchored && line.starts_with(row.anchor)) anchored = rig.clock;
    return false;
  };
  rig.host.on_advance = [&] {
    if (anchored && !seen && rig.clock - *anchored >= row.after_ms) seen = rig.host.record.Snapshot().wait;
  };
  row.run(rig);

  ASSERT_TRUE(seen.has_value()) << rig.host.Dump();
  EXPECT_EQ(seen->kind, row.wait.kind);
  EXPECT_EQ(seen->target, row.wait.target);
  EXPECT_EQ(seen->total_ms, row.wait.total_ms);
  EXPECT_EQ(seen->attempt, row.wait.attempt);
  EXPECT_EQ(seen->attempts, row.wait.attempts);
  EXPECT_NEAR(static_cast<double>(seen->left_ms), static_cast<double>(row.wait.left_ms), 300);
  EXPECT_EQ(seen->left_ms + seen->waited_ms, seen->total_ms);
  EXPECT_EQ(rig.host.record.Snapshot().wait.kind, WaitKind::None) << "every wait is cleared when it ends";
}

constexpr std::int32_t kServerPort = 0x6900;

// A route server at 127.0.0.2 that never answers, asked in discovery round `round`.
std::function<void(ScriptedRig&)> SilentServer(int round) {
  return [round](ScriptedRig& rig) {
    rig.transport.AddRouteServer({.silent = true}, "127.0.0.2", kServerPort, {});
    RouteList routes;
    rig.discovery.DiscoverRoutes("127.0.0.2", kServerPort, "A", routes, round);
  };
}

std::function<void(ScriptedRig&)> Profile(RouteConfig route) {
  return [route](ScriptedRig& rig) {
    rig.AddRoute(route);
    rig.host.record.SetRoutes(rig.routes);
    rig.profiler.ProfileRoutes(rig.routes);
  };
}

std::function<void(ScriptedRig&)> FetchKey(RouteConfig route) {
  return [route](ScriptedRig& rig) {
    rig.AddRoute(route);
    rig.host.stop_at = [inner = rig.host.stop_at](const std::string& line) {
      inner(line);
      return line.starts_with("Timeout waiting for public key response");
    };
    std::string last_sync;
    rig.keys.SynchronizeKeys(rig.routes, last_sync);
  };
}

const std::string kR1 = "r1=127.0.0.1:27001";
const LoginReplyConfig kSilentLogin{.kind = LoginReplyConfig::Kind::Silent};

INSTANTIATE_TEST_SUITE_P(
    Rows, WaitRecordTest,
    ::testing::Values(
        WaitRow{"route server answer in round 1", SilentServer(1), "<Tx>     Sa (R)Routes", 9000,
                {WaitKind::RouteServerAnswer, "127.0.0.2:6900", 40000, 31000, 0, 1, 2}},
        WaitRow{"route server answer in round 2", SilentServer(2), "<Tx>     Sa (R)Routes", 39000,
                {WaitKind::RouteServerAnswer, "127.0.0.2:6900", 40000, 1000, 0, 2, 2}},
        WaitRow{"first login reply", Profile({.profile_login = kSilentLogin}), "<Tx>     Sa (L)Login", 1000,
                {WaitKind::LoginReply, kR1, 5000, 4000, 0, 1, 3}},
        WaitRow{"third login reply", Profile({.profile_login = kSilentLogin}),
                "Timeout waiting for login response Retry(2)", 2000, {WaitKind::LoginReply, kR1, 5000, 3000, 0, 3, 3}},
        // What is left of the last login's five seconds once the records are out, two
        // passes after the login.
        WaitRow{"heartbeat", Profile({.profile_heartbeat = false}), "25 Detail Records Transmitted", 1000,
                {WaitKind::Heartbeat, kR1, 4900, 3900, 0, 0, 0}},
        WaitRow{"key login reply", FetchKey({.key_login = kSilentLogin}), "<Tx>     Sa (L)Login", 2500,
                {WaitKind::LoginReply, kR1, 5000, 2500, 0, 0, 0}},
        WaitRow{"public key", FetchKey({.key_reply = sim::KeyReplyKind::Never}), "<Tx>     Sa (P)PublicKey", 6000,
                {WaitKind::PublicKey, kR1, 10000, 4000, 0, 0, 0}},
        // Each repeated request waits the whole ten seconds again.
        WaitRow{"public key after a repeated request",
                FetchKey({.key_heartbeat_text = "1", .key_reply = sim::KeyReplyKind::Never}),
                "<Tx+>    Sa (P)PublicKey", 1000, {WaitKind::PublicKey, kR1, 10000, 9000, 0, 0, 0}}),
    RowName<WaitRow>);

// Pauses of the exchanges that are over in a moment are no waits to count down.
TEST(WaitRecordTest, ShortPausesAreNotRecorded) {
  ScriptedRig rig;
  rig.AddRoute();
  FailSend('D', 2, WSAEWOULDBLOCK)(rig.transport);
  std::vector<WaitKind> kinds;
  rig.host.on_advance = [&] {
    const WaitKind kind = rig.host.record.Snapshot().wait.kind;
    if (kinds.empty() || kinds.back() != kind) kinds.push_back(kind);
  };
  rig.host.record.SetRoutes(rig.routes);
  rig.profiler.ProfileRoutes(rig.routes);
  // The login reply and the heartbeat are awaited; the step pauses and the blocked
  // send's retry pause in between are not.
  EXPECT_EQ(kinds, (std::vector<WaitKind>{WaitKind::None, WaitKind::LoginReply, WaitKind::None, WaitKind::Heartbeat,
                                          WaitKind::None}))
      << rig.host.Dump();
  EXPECT_EQ(rig.host.CountPrefix("<!Tx>"), 1);
}

// Each route server asked carries the round that asked it, whatever its outcome.
TEST(ServerRoundTest, EveryServerAskedCarriesItsRound) {
  for (const int round : {1, 2}) {
    ScriptedRig rig;
    rig.transport.AddRouteServer({}, "127.0.0.1", kServerPort, {"a=127.0.0.1:1"});
    RouteList routes;
    rig.discovery.DiscoverRoutes("127.0.0.1,127.0.0.3,unknown.test", kServerPort, "A", routes, round);
    const RunSnapshot s = rig.host.record.Snapshot();
    ASSERT_EQ(s.servers.size(), 3u) << rig.host.Dump();
    EXPECT_EQ(s.servers[0].outcome, ServerOutcome::Answered);
    EXPECT_EQ(s.servers[1].outcome, ServerOutcome::ConnectFailed);
    EXPECT_EQ(s.servers[2].outcome, ServerOutcome::LookupFailed);
    for (const ServerResult& server : s.servers) EXPECT_EQ(server.round, round) << server.server;
  }
}

}  // namespace
}  // namespace zp::test
