// Key synchronisation against simulated gateway routes: which failures move on to the
// next route and which end the synchronisation, the checks on the key reply, the
// request repeated on heartbeats that list "1", and the ring of routes with a stop.
#include <chrono>
#include <cstdio>
#include <ostream>

#include "client/exchange/ExchangeFixture.h"
#include "platform/Tick.h"

namespace zp::test {
namespace {

using sim::KeyReplyKind;
using sim::LoginReplyConfig;

constexpr const char* kR1 = "r1 0:127.0.0.1";  // the countdown of key synchronisation on r1

class SynchronizeKeysTest : public ExchangeFixture {
 protected:
  // r1 failed at route level with `text`, `ms` (scaled) after the packet traced by the
  // line starting `sent`: the synchronisation went on to r2 and got the key.
  static void ExpectMovedOn(const ProbeRun& run, const std::string& r2, const std::string& text,
                            const std::string& sent, std::int64_t ms) {
    const int next = IndexOfState(run, kR1, "NextRoute");
    ASSERT_GE(next, 0) << Dump(run);
    EXPECT_EQ(run.lines[static_cast<std::size_t>(next + 1)], text);
    const std::int64_t waited = MsBetween(run, IndexOfPrefix(run, sent, IndexOfPrefix(run, "CurrentRoute(0)")), next);
    EXPECT_GE(waited, ms);
    EXPECT_LT(waited, ms + ms / 2);
    const int r2_at = run.IndexOf("CurrentRoute(1) r2 " + AfterName(r2), next);
    EXPECT_GE(r2_at, 0) << Dump(run);
    EXPECT_GE(IndexOfPrefix(run, "PublicKey Request SUCCESS ", r2_at), 0);
    EXPECT_EQ(run.result_code, kResultSuccess);
    EXPECT_TRUE(run.halted);
  }

  // r1 ended the synchronisation in `state` with `text`, after listing every route's score.
  static void ExpectEnded(const ProbeRun& run, const std::string& state, const std::string& text) {
    const int end = IndexOfState(run, kR1, state);
    ASSERT_GE(end, 0) << Dump(run);
    EXPECT_TRUE(ListedScores(run)) << Dump(run);
    const std::size_t final_line = static_cast<std::size_t>(end) + run.routes.size() + 1;
    ASSERT_LT(final_line, run.lines.size());
    EXPECT_EQ(run.lines[final_line], text);
    EXPECT_TRUE(HadStatus(run, text));
    EXPECT_FALSE(run.HasPrefix("CurrentRoute(1)")) << "no other route is tried";
    EXPECT_FALSE(run.HasPrefix("PublicKey Request SUCCESS"));
    EXPECT_EQ(run.result_code, kResultFailure);
    EXPECT_TRUE(run.halted);
  }
};

// --- failures that give up the route ---

TEST_F(SynchronizeKeysTest, UnansweredKeyLoginMovesToTheNextRouteWithoutRetransmission) {
  AddRoute({.key_login = {.kind = LoginReplyConfig::Kind::Silent}});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  ExpectMovedOn(run, r2, "Timeout waiting for login response", "<Tx>     Sa (L)Login", 5000);
  EXPECT_EQ(sim_.Stats("r1").key_logins, 1);
}

TEST_F(SynchronizeKeysTest, SilenceDuringTheKeyWaitMovesOn) {
  AddRoute({.key_heartbeats = false, .key_reply = KeyReplyKind::Never});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  ExpectMovedOn(run, r2, "No heartbeats received during wait for public key response", "<Tx>     Sa (P)PublicKey",
                4000);
}

TEST_F(SynchronizeKeysTest, KeyThatNeverComesTimesOutWhileHeartbeatsFlowBothWays) {
  AddRoute({.key_reply = KeyReplyKind::Never});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  ExpectMovedOn(run, r2, "Timeout waiting for public key response", "<Tx>     Sa (P)PublicKey", 10000);
  // Ten seconds of waiting: the probe's own heartbeat every two of them.
  EXPECT_GE(sim_.Stats("r1").heartbeats, 4);
  EXPECT_LE(sim_.Stats("r1").heartbeats, 5);
  EXPECT_EQ(sim_.Stats("r1").key_requests, 1);
}

// --- failures that end the synchronisation ---

TEST_F(SynchronizeKeysTest, ErrorIndicatorEndsInErrorWithTheErrorText) {
  AddRoute({.key_reply = KeyReplyKind::ErrorIndicator, .key_error_text = "Public key unavailable"});
  AddRoute();
  ExpectEnded(RunProbe(), "Error", "Public key unavailable");
}

TEST_F(SynchronizeKeysTest, KeyOf99CharactersEndsInError) {
  AddRoute({.key_length = 99});
  AddRoute();
  ExpectEnded(RunProbe(), "Error", "No (or invalid) publickey was returned");
}

TEST_F(SynchronizeKeysTest, KeyReplyStatusEndsInExitWithItsText) {
  AddRoute({.key_reply = KeyReplyKind::Status, .key_status = 7, .key_status_text = "Key not available"});
  AddRoute();
  ExpectEnded(RunProbe(), "Exit", "Key not available");
}

TEST_F(SynchronizeKeysTest, RefusedKeyLoginEndsInExitWithItsText) {
  AddRoute({.key_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 40, .text = "Keys locked"}});
  AddRoute();
  ExpectEnded(RunProbe(), "Exit", "Keys locked");
}

// --- keys that are accepted ---

TEST_F(SynchronizeKeysTest, KeyOf100CharactersIsAccepted) {
  const std::string r1 = AddRoute({.key_length = 100});
  const ProbeRun run = RunProbe();
  EXPECT_TRUE(run.HasPrefix("PublicKey Request SUCCESS ")) << Dump(run);
  EXPECT_TRUE(ShowedState(run, kR1, "Complete"));
  EXPECT_TRUE(ListedScores(run));
  EXPECT_TRUE(HadStatus(run, "Wait PublicKey"));
  EXPECT_TRUE(std::any_of(run.statuses.begin(), run.statuses.end(),
                          [](const std::string& s) { return s.rfind("PublicKey SUCCESS ", 0) == 0; }));
  EXPECT_EQ(sim_.Stats("r1").logouts, 2);  // after profiling and after the key
  EXPECT_EQ(run.result_code, kResultSuccess);
}

TEST_F(SynchronizeKeysTest, LargestKeyReplyIsAccepted) {
  AddRoute({.key_reply = KeyReplyKind::Largest});
  const ProbeRun run = RunProbe();
  EXPECT_TRUE(run.HasPrefix("PublicKey Request SUCCESS 5320 Bytes ")) << Dump(run);
  EXPECT_EQ(run.result_code, kResultSuccess);
}

// --- heartbeats that list "1" ---

// Heartbeats that list "1" say the request was not confirmed: each repeats it and
// restarts the ten seconds, so a key that comes sixteen seconds after the first request
// is still taken, and its time is counted from that first request.
TEST_F(SynchronizeKeysTest, HeartbeatsListingOneKeepTheRouteWellPastTenSeconds) {
  AddRoute({.key_heartbeat_text = "1", .key_delay_ms = 16000});
  AddRoute();
  const ProbeRun run = RunProbe();
  EXPECT_GE(CountPrefix(run, "<Tx+>    Sa (P)PublicKey"), 7) << Dump(run);
  EXPECT_GE(CountPrefix(run, "ReTx === BEGINS "), 7);
  EXPECT_FALSE(run.Has("Timeout waiting for public key response"));
  EXPECT_FALSE(run.HasPrefix("CurrentRoute(1)"));
  const int success = IndexOfPrefix(run, "PublicKey Request SUCCESS ");
  ASSERT_GE(success, 0) << Dump(run);
  int bytes = 0;
  double seconds = 0;
  ASSERT_EQ(std::sscanf(run.lines[static_cast<std::size_t>(success)].c_str(), "PublicKey Request SUCCESS %d Bytes %lfsec",
                        &bytes, &seconds),
            2);
  EXPECT_GE(seconds, 16.0);
  EXPECT_EQ(run.result_code, kResultSuccess);
}

struct HeartbeatText {
  const char* text;
  bool repeats;
};
void PrintTo(const HeartbeatText& h, std::ostream* os) { *os << '"' << h.text << '"'; }

class HeartbeatTextTest : public SynchronizeKeysTest, public ::testing::WithParamInterface<HeartbeatText> {};

TEST_P(HeartbeatTextTest, RequestIsRepeatedOnlyWhenTheListHoldsAOne) {
  AddRoute({.key_heartbeat_text = GetParam().text, .key_reply = KeyReplyKind::Never});
  ProbeSettings settings;
  // Two heartbeats of the key wait (profiling had one of its own before).
  const auto key_heartbeats = [](const ProbeRun& r) {
    const int sync = IndexOfPrefix(r, "CurrentRoute(0)");
    return sync < 0 ? 0 : CountPrefix(r, "<Rx>     Sa (H)Heartbeat", sync);
  };
  settings.stop_when = [&](const ProbeRun& r) { return key_heartbeats(r) >= 2; };
  const ProbeRun run = RunProbe(settings);
  ASSERT_GE(key_heartbeats(run), 2) << Dump(run);
  EXPECT_EQ(run.HasPrefix("<Tx+>    Sa (P)PublicKey"), GetParam().repeats) << Dump(run);
  EXPECT_EQ(run.HasPrefix("ReTx === BEGINS "), GetParam().repeats);
  EXPECT_EQ(sim_.Stats("r1").key_requests > 1, GetParam().repeats);
}

INSTANTIATE_TEST_SUITE_P(Lists, HeartbeatTextTest,
                         ::testing::Values(HeartbeatText{"1", true}, HeartbeatText{"10", true},
                                           HeartbeatText{"21", true}, HeartbeatText{"0", false},
                                           HeartbeatText{"2-9", false}, HeartbeatText{"", false}));

// --- the ring of routes ---

TEST_F(SynchronizeKeysTest, RingStartsWithTheFirstRouteAndWrapsAround) {
  const std::string r1 = AddRoute({.refuse = true});
  const std::string r2 = AddRoute({.key_login = {.kind = LoginReplyConfig::Kind::Silent}});
  ProbeSettings settings;
  settings.stop_when = [](const ProbeRun& r) { return CountPrefix(r, "CurrentRoute(") >= 3; };
  const ProbeRun run = RunProbe(settings);
  const int first = run.IndexOf("CurrentRoute(0) r1 " + AfterName(r1));
  const int second = run.IndexOf("CurrentRoute(1) r2 " + AfterName(r2), first);
  const int third = run.IndexOf("CurrentRoute(0) r1 " + AfterName(r1), second);
  ASSERT_TRUE(first >= 0 && second > first && third > second) << Dump(run);
  EXPECT_EQ(IndexOfPrefix(run, "CurrentRoute("), first) << "the first route comes first";
  EXPECT_GE(run.IndexOf("Timeout waiting for login response", second), 0);
  EXPECT_EQ(run.result_code, kResultSomeRoutesFailed);
}

// The synchronisation circles for ever over routes that fail at route level: only a stop
// ends it, and it must end promptly, also from inside a wait, at real time.
TEST_F(SynchronizeKeysTest, StopEndsACirclingSynchronisationPromptly) {
  testing::SetTimeScale(1.0);
  const std::string r1 = AddRoute({.refuse = true});
  const std::string r2 = AddRoute({.key_login = {.kind = LoginReplyConfig::Kind::Silent}});
  std::chrono::steady_clock::time_point stopped{};
  ProbeSettings settings;
  settings.stop_when = [&stopped](const ProbeRun& r) {
    if (CountPrefix(r, "CurrentRoute(") < 2) return false;
    stopped = std::chrono::steady_clock::now();
    return true;
  };
  const ProbeRun run = RunProbe(settings);
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
