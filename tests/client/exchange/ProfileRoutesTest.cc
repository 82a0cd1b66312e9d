// Route profiling against simulated gateway routes: how each failure is reported and
// scored, how heartbeat lists become scores, and how scores become the result code.
#include <cstdio>

#include "client/exchange/ExchangeFixture.h"
#include "net/ZWinSock.h"

namespace zp::test {
namespace {

using sim::LoginReplyConfig;
using sim::RouteConfig;

class ProfileRoutesTest : public ExchangeFixture {
 protected:
  // The trace of one route's profiling: from its "CurrentRoute" line to its score line.
  struct Segment {
    int begin = -1;
    int end = -1;  // the index of "<entry> Score(%d)"
  };
  static Segment ProfileOf(const ProbeRun& run, const std::string& entry) {
    const std::string name = entry.substr(0, entry.find('='));
    Segment s;
    s.begin = run.IndexOf("CurrentRoute " + name + " " + AfterName(entry));
    s.end = IndexOfPrefix(run, entry + " Score(", s.begin);
    return s;
  }
  // The final text that profiling traced at Exit, just before the score line (and the
  // socket's release, when it still had one).
  static std::string FinalTextOf(const ProbeRun& run, const std::string& entry) {
    int i = ProfileOf(run, entry).end - 1;
    if (i >= 0 && run.lines[static_cast<std::size_t>(i)].rfind("Socket $", 0) == 0) --i;
    return i >= 0 ? run.lines[static_cast<std::size_t>(i)] : "<none>";
  }
  // The header lines of the logins sent while profiling the route.
  static std::vector<std::string> LoginsOf(const ProbeRun& run, const std::string& entry) {
    const Segment s = ProfileOf(run, entry);
    std::vector<std::string> logins;
    for (int i = s.begin; i >= 0 && i < s.end; ++i) {
      const std::string& l = run.lines[static_cast<std::size_t>(i)];
      if (l.rfind("<Tx>", 0) == 0 && l.find("(L)Login") != std::string::npos) logins.push_back(l);
    }
    return logins;
  }
  // The lines appear in this order within the route's profiling.
  static void ExpectInOrder(const ProbeRun& run, const std::string& entry, const std::vector<std::string>& lines) {
    const Segment s = ProfileOf(run, entry);
    ASSERT_GE(s.begin, 0) << Dump(run);
    int at = s.begin;
    for (const std::string& line : lines) {
      const int i = run.IndexOf(line, at);
      ASSERT_TRUE(i >= 0 && i < s.end) << "missing in order: " << line << "\n" << Dump(run);
      at = i + 1;
    }
  }

  // One failing route r1 and a healthy r2: r1 scores 25 after showing Exit with
  // `final_text`, r2 scores 0, and the test reports SOME ROUTES FAILED.
  void ExpectFailedRoute(const ProbeRun& run, const std::string& r1, const std::string& r2,
                         const std::string& final_text) {
    EXPECT_EQ(run.ScoreOf(r1), 25);
    EXPECT_EQ(run.ScoreOf(r2), 0);
    EXPECT_TRUE(ShowedState(run, "r1 127.0.0.1", "Exit")) << Dump(run);
    EXPECT_EQ(FinalTextOf(run, r1), final_text) << Dump(run);
    EXPECT_TRUE(run.Has(r1 + " Score(25)"));
    if (!final_text.empty()) {
      EXPECT_TRUE(HadStatus(run, final_text));
    }
    EXPECT_EQ(run.result_code, kResultSomeRoutesFailed);
    EXPECT_TRUE(run.halted);
  }
};

TEST_F(ProfileRoutesTest, RefusedConnectIsTracedAndScoredAsFailed) {
  const std::string r1 = AddRoute({.refuse = true});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  const std::string port = AfterName(r1).substr(AfterName(r1).find(':') + 1);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%4.4X", static_cast<unsigned>(std::stoi(port)));
  ExpectInOrder(run, r1,
                {"0: connect via route r1 127.0.0.1 " + std::string(hex) + " (" + port + ")",
                 "0: connect() failed to r1 127.0.0.1 " + std::string(hex) + " (" + port + ") " +
                     SocketErrorText(10061)});
  ExpectFailedRoute(run, r1, r2, "");
}

TEST_F(ProfileRoutesTest, SilentRouteGetsThreeLoginsWithNewSequencesThenExpires) {
  const std::string r1 = AddRoute({.silent = true});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  // Every login carries the next login sequence number (the first of a test is 702).
  const auto login = [](const char* sequence) {
    return std::string("\"//") + sequence + "// P 0000000001 0001 0025 0000 PROFILE";
  };
  const std::vector<std::string> logins = LoginsOf(run, r1);
  ASSERT_EQ(logins.size(), 3u) << Dump(run);
  EXPECT_NE(logins[0].find(login("0702")), std::string::npos) << logins[0];
  EXPECT_NE(logins[1].find(login("0703")), std::string::npos) << logins[1];
  EXPECT_NE(logins[2].find(login("0704")), std::string::npos) << logins[2];
  ExpectInOrder(run, r1,
                {"Timeout waiting for login response Retry(1) - Retransmit Login",
                 "Timeout waiting for login response Retry(2) - Retransmit Login",
                 "Timeout waiting for login response - Retries expired"});
  EXPECT_EQ(run.CountOf("Timeout waiting for login response - Retries expired"), 1);
  // Five seconds for each of the three logins.
  const std::int64_t waited = MsBetween(run, run.IndexOf(logins[0]), run.IndexOf("Timeout waiting for login response - Retries expired"));
  EXPECT_GE(waited, 15000);
  EXPECT_LT(waited, 20000);
  ExpectFailedRoute(run, r1, r2, "");
}

TEST_F(ProfileRoutesTest, RefusedLoginReportsTheStatusText) {
  const std::string r1 = AddRoute(
      {.profile_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 12, .text = "Circuit refused by gateway"}});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  ExpectFailedRoute(run, r1, r2, "Circuit refused by gateway");
  EXPECT_EQ(sim_.Stats("r1").details, 0);
  EXPECT_EQ(run.CountOf("25 Detail Records Transmitted"), 1) << "only r2 gets to send details";
}

TEST_F(ProfileRoutesTest, MissingHeartbeatTimesOutOnTheLoginDeadline) {
  const std::string r1 = AddRoute({.profile_heartbeat = false});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  ExpectInOrder(run, r1, {"25 Detail Records Transmitted", "Timeout waiting for heartbeat response"});
  ExpectFailedRoute(run, r1, r2, "Timeout waiting for heartbeat response");
}

TEST_F(ProfileRoutesTest, HeartbeatListsBecomeScores) {
  const std::string empty = AddRoute({.profile_heartbeat_text = ""});
  const std::string all = AddRoute({.profile_heartbeat_text = "1-25"});
  const std::string some = AddRoute({.profile_heartbeat_text = "3,7-9"});
  // Counted, not expanded: two billion items would take gigabytes and minutes.
  const std::string huge = AddRoute({.profile_heartbeat_text = "1-2147483647"});
  const ProbeRun run = RunProbe();
  EXPECT_EQ(run.ScoreOf(empty), 0);
  EXPECT_EQ(run.ScoreOf(all), 25);
  EXPECT_EQ(run.ScoreOf(some), 4);
  EXPECT_EQ(run.ScoreOf(huge), 2147483647);
  EXPECT_TRUE(run.HasPrefix("r3 Profiling Complete - Score (4) ")) << Dump(run);
  EXPECT_TRUE(run.Has(some + " Score=4"));
  EXPECT_TRUE(run.Has(huge + " Score=2147483647"));
  // A complete report of all 25 records counts as a failed route; the rest do not.
  EXPECT_EQ(run.result_code, kResultSomeRoutesFailed);
}

TEST_F(ProfileRoutesTest, LateLoginReplyIsAcceptedAfterTheRetransmission) {
  // Answered 5.1 s after each login: the first answer arrives after the second login.
  const std::string r1 = AddRoute({.profile_login = {.delay_ms = 5100}});
  const ProbeRun run = RunProbe();
  ExpectInOrder(run, r1,
                {"Timeout waiting for login response Retry(1) - Retransmit Login", "25 Detail Records Transmitted"});
  EXPECT_FALSE(run.HasPrefix("Timeout waiting for login response Retry(2)"));
  const std::vector<std::string> logins = LoginsOf(run, r1);
  ASSERT_EQ(logins.size(), 2u) << Dump(run);
  EXPECT_NE(logins[1].find("\"//0703// P "), std::string::npos) << logins[1];
  EXPECT_TRUE(run.HasPrefix("r1 Profiling Complete - Score (0) ")) << Dump(run);
  EXPECT_EQ(run.ScoreOf(r1), 0);
  EXPECT_EQ(run.result_code, kResultSuccess);
}

TEST_F(ProfileRoutesTest, OneFailedRouteOfThreeGivesSomeRoutesFailedEvenWithAKey) {
  const std::string r1 = AddRoute();
  const std::string r2 = AddRoute({.refuse = true});
  const std::string r3 = AddRoute();
  const ProbeRun run = RunProbe();
  EXPECT_EQ(run.ScoreOf(r1), 0);
  EXPECT_EQ(run.ScoreOf(r2), 25);
  EXPECT_EQ(run.ScoreOf(r3), 0);
  EXPECT_TRUE(run.HasPrefix("PublicKey Request SUCCESS ")) << Dump(run);
  EXPECT_EQ(run.result_code, kResultSomeRoutesFailed);
}

// Profile and key logins refused alike: nothing succeeds.
TEST_F(ProfileRoutesTest, AllRoutesFailedAndNoKeyIsFailure) {
  const LoginReplyConfig refuse{.kind = LoginReplyConfig::Kind::Refuse, .status = 3, .text = "Closed"};
  std::vector<std::string> routes;
  for (int i = 0; i < 3; ++i) routes.push_back(AddRoute({.profile_login = refuse, .key_login = refuse}));
  const ProbeRun run = RunProbe();
  for (const auto& r : routes) EXPECT_EQ(run.ScoreOf(r), 25) << r;
  EXPECT_EQ(run.result_code, kResultFailure);
  EXPECT_TRUE(run.halted);
}

TEST_F(ProfileRoutesTest, AllRoutesFailedButAKeyArrivesIsSuccess) {
  const LoginReplyConfig refuse{.kind = LoginReplyConfig::Kind::Refuse, .status = 3, .text = "Closed"};
  const std::string r1 = AddRoute({.profile_login = refuse});
  const std::string r2 = AddRoute({.profile_login = refuse});
  const ProbeRun run = RunProbe();
  EXPECT_EQ(run.ScoreOf(r1), 25);
  EXPECT_EQ(run.ScoreOf(r2), 25);
  EXPECT_TRUE(run.HasPrefix("PublicKey Request SUCCESS ")) << Dump(run);
  EXPECT_EQ(run.result_code, kResultSuccess);
}

TEST_F(ProfileRoutesTest, EntryWithoutNameIsProfiledAsUnknown) {
  // The route server lists only a bare "address:port" line for the route.
  const std::string hidden = AfterName(AddRoute());
  const ProbeRun run = RunProbe({}, {.list_routes = false, .extra_lines = {hidden}});
  ASSERT_EQ(run.routes.size(), 1u) << Dump(run);
  EXPECT_TRUE(run.Has("CurrentRoute ???? " + hidden)) << Dump(run);
  EXPECT_TRUE(run.HasPrefix("0: connect via route ???? 127.0.0.1 "));
  EXPECT_TRUE(run.HasPrefix("???? Profiling Complete - Score (0) "));
  EXPECT_TRUE(run.Has("CurrentRoute(0) ???? " + hidden));
  EXPECT_EQ(run.ScoreOf(hidden), 0);
  EXPECT_EQ(run.result_code, kResultSuccess);
}

}  // namespace
}  // namespace zp::test
