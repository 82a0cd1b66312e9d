// Route profiling over the scripted transport: every way a route's profile can end, with
// the exact final text, the score, the recorded outcome and what it does to the worker.
#include <gtest/gtest.h>

#include "client/scripted/ScriptedRig.h"
#include "run/RunWords.h"
#include "net/ZWinSock.h"

namespace zp::test {
namespace {

using sim::CloseStage;
using sim::LoginReplyConfig;
using sim::RouteConfig;

struct ProfileRow {
  const char* name;
  RouteConfig route;
  std::function<void(ScriptedTransport&)> fault;
  std::string final_text;  // traced at Exit; "%E" stands for the error text of `code`
  int code;
  std::int32_t score;
  RouteOutcome outcome;
  int closes = 0;  // close notifications, each setting the worker's state to "Waiting"
};

std::ostream& operator<<(std::ostream& os, const ProfileRow& row) { return os << row.name; }

class ProfileRowsTest : public ::testing::TestWithParam<ProfileRow> {};

TEST_P(ProfileRowsTest, EndsWithItsTextScoreAndOutcome) {
  const ProfileRow& row = GetParam();
  ScriptedRig rig;
  const std::string entry = rig.AddRoute(row.route);
  if (row.fault) row.fault(rig.transport);
  rig.host.record.SetRoutes(rig.routes);  // as the worker does after discovery
  rig.profiler.ProfileRoutes(rig.routes);

  const int score_line = rig.host.IndexOf(entry + " Score(" + std::to_string(row.score) + ")");
  ASSERT_GT(score_line, 0) << rig.host.Dump();
  int final_line = score_line - 1;
  if (rig.host.lines[static_cast<std::size_t>(final_line)].rfind("Socket $", 0) == 0) --final_line;
  EXPECT_EQ(rig.host.lines[static_cast<std::size_t>(final_line)], Expand(row.final_text, row.code))
      << rig.host.Dump();
  const std::string& exit_line = rig.host.lines[static_cast<std::size_t>(final_line) - 1];
  EXPECT_TRUE(exit_line.starts_with("r1 127.0.0.1 ") && exit_line.ends_with(" Exit")) << exit_line;
  EXPECT_EQ(rig.routes[0].score, row.score);
  EXPECT_EQ(rig.host.result_code, row.score >= 25 ? kResultFailure : 0);
  EXPECT_EQ(rig.host.closed_notifications, row.closes);
  EXPECT_FALSE(rig.connection.HasSocket());
  const RunSnapshot s = rig.host.record.Snapshot();
  ASSERT_EQ(s.routes.size(), 1u);
  EXPECT_EQ(s.routes[0].outcome, row.outcome);
  EXPECT_EQ(s.routes[0].failed, row.score >= 25);
  EXPECT_EQ(s.routes[0].score, row.score);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ProfileRowsTest,
    ::testing::Values(
        ProfileRow{"healthy", {}, nullptr, "r1=127.0.0.1:27001 Score=0", 0, 0, RouteOutcome::Scored},
        ProfileRow{"heartbeat lists four records", {.profile_heartbeat_text = "3,5-7"}, nullptr,
                   "r1=127.0.0.1:27001 Score=4", 0, 4, RouteOutcome::Scored},
        ProfileRow{"no socket", {}, [](ScriptedTransport& transport) { transport.open_error = WSAEMFILE; },
                   "0: couldn't create socket Error(10024)", 0, 25, RouteOutcome::ConnectFailed},
        ProfileRow{"connect refused", {.refuse = true}, nullptr, "", 0, 25, RouteOutcome::ConnectFailed},
        ProfileRow{"no notifications", {}, [](ScriptedTransport& transport) { transport.notify_error = WSAENETDOWN; }, "", 0, 25,
                   RouteOutcome::ConnectFailed},
        ProfileRow{"login send fails", {}, FailSend('L', 1, kReset), "SendCircuitLogin:  send() failed %E", kReset,
                   25, RouteOutcome::ConnectionLost},
        ProfileRow{"login refused",
                   {.profile_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 5, .text = "ACCESS DENIED"}},
                   nullptr, "ACCESS DENIED", 0, 25, RouteOutcome::LoginRefused},
        ProfileRow{"logins unanswered", {.profile_login = {.kind = LoginReplyConfig::Kind::Silent}}, nullptr, "", 0,
                   25, RouteOutcome::NoLoginAnswer},
        ProfileRow{"detail send fails", {}, FailSend('D', 3, kReset), "TransmitDetail:  send() failed (10054) %E",
                   kReset, 25, RouteOutcome::ConnectionLost},
        ProfileRow{"no heartbeat", {.profile_heartbeat = false}, nullptr, "Timeout waiting for heartbeat response", 0,
                   25, RouteOutcome::NoHeartbeat},
        ProfileRow{"logout send fails", {}, FailSend('T', 1, kReset), "SendCircuitLogout:  send() failed %E", kReset,
                   25, RouteOutcome::ConnectionLost},
        ProfileRow{"heartbeat lists no record", {.profile_heartbeat_text = ""}, nullptr,
                   "r1=127.0.0.1:27001 Score=0", 0, 0, RouteOutcome::Scored},
        // Every record reported missing: scored, but counted as failed.
        ProfileRow{"heartbeat lists every record", {.profile_heartbeat_text = "1-25"}, nullptr,
                   "r1=127.0.0.1:27001 Score=25", 0, 25, RouteOutcome::Scored},
        // Counted, not expanded: two billion items would take gigabytes and minutes.
        // A route can miss only the records it was sent: more is a broken answer, and fails.
        ProfileRow{"heartbeat lists two billion records", {.profile_heartbeat_text = "1-2147483647"}, nullptr,
                   "r1=127.0.0.1:27001 Score=2147483647", 0, 2147483647, RouteOutcome::Scored},
        // A record number past 32 bits: a broken answer, every record counted missing.
        ProfileRow{"heartbeat lists a record past 32 bits", {.profile_heartbeat_text = "1-99999999999"}, nullptr,
                   "r1=127.0.0.1:27001 Score=25", 0, 25, RouteOutcome::Scored},
        ProfileRow{"heartbeat lists one record 252 times", {.profile_heartbeat_text = [] {
                     std::string list = "1";
                     for (int i = 1; i < 252; ++i) list += ",1";
                     return list;
                   }()},
                   nullptr, "r1=127.0.0.1:27001 Score=252", 0, 252, RouteOutcome::Scored},
        ProfileRow{"login answered after the retransmission", {.profile_login = {.delay_ms = 5100}}, nullptr,
                   "r1=127.0.0.1:27001 Score=0", 0, 0, RouteOutcome::Scored},
        ProfileRow{"closed on connect", {.close_stage = CloseStage::OnConnect}, nullptr,
                   "SendCircuitLogin:  send() failed %E", WSAENOTSOCK, 25, RouteOutcome::ConnectionLost, 1},
        ProfileRow{"reset on connect", {.close_stage = CloseStage::OnConnect, .close_with_reset = true}, nullptr,
                   "SendCircuitLogin:  send() failed %E", WSAENOTSOCK, 25, RouteOutcome::ConnectionLost, 1},
        ProfileRow{"closed after the login", {.close_stage = CloseStage::AfterLogin}, nullptr,
                   "TransmitDetail:  send() failed (10038) %E", WSAENOTSOCK, 25, RouteOutcome::ConnectionLost, 1},
        ProfileRow{"reset after the login", {.close_stage = CloseStage::AfterLogin, .close_with_reset = true}, nullptr,
                   "TransmitDetail:  send() failed (10038) %E", WSAENOTSOCK, 25, RouteOutcome::ConnectionLost, 1},
        // Nothing is sent after the details, so only the missing heartbeat shows it.
        ProfileRow{"closed instead of the heartbeat", {.close_stage = CloseStage::AfterDetails}, nullptr,
                   "Timeout waiting for heartbeat response", 0, 25, RouteOutcome::ConnectionLost, 1},
        ProfileRow{"reset instead of the heartbeat",
                   {.close_stage = CloseStage::AfterDetails, .close_with_reset = true}, nullptr,
                   "Timeout waiting for heartbeat response", 0, 25, RouteOutcome::ConnectionLost, 1}),
    RowName<ProfileRow>);

// An entry is connected to only at a port a connect can name; any other is skipped with
// its own line, like one without an address, and fails.
TEST(ProfilePortTest, EntriesOutside1To65535AreSkipped) {
  const struct {
    std::string entry;
    std::string skipped;  // the trace line, or empty when the entry is connected to
    std::string connect;  // where the connect goes
  } cases[] = {
      {"r9=127.0.0.1:117377", "has port 117377, not 1 to 65535 - skipped", ""},
      {"r9=127.0.0.1:65536", "has port 65536, not 1 to 65535 - skipped", ""},
      {"r9=127.0.0.1:0", "has port 0, not 1 to 65535 - skipped", ""},
      {"r9=127.0.0.1:-1", "has port -1, not 1 to 65535 - skipped", ""},
      {"r9=127.0.0.1:$1FFFF", "has port 131071, not 1 to 65535 - skipped", ""},
      {"r9=:7000", "has no address - skipped", ""},
      {"r9=127.0.0.1:65535", "", "127.0.0.1:65535"},
      {"r9=127.0.0.1:1", "", "127.0.0.1:1"},
      {"r9=127.0.0.1:$FFFF", "", "127.0.0.1:65535"},
      {"r9=127.0.0.1:x", "", "127.0.0.1:26881"},  // not a number: the default port
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    ScriptedRig rig;
    rig.routes.push_back({c.entry, 25});
    rig.host.record.SetRoutes(rig.routes);
    rig.profiler.ProfileRoutes(rig.routes);
    const RouteResult route = rig.host.record.Snapshot().routes.at(0);
    EXPECT_TRUE(route.failed);
    EXPECT_EQ(route.outcome, RouteOutcome::ConnectFailed);
    if (c.skipped.empty()) {
      EXPECT_EQ(rig.transport.connects, std::vector<std::string>{c.connect});
      continue;
    }
    EXPECT_TRUE(rig.host.Has("Route \"" + c.entry + "\" " + c.skipped)) << rig.host.Dump();
    EXPECT_TRUE(rig.transport.connects.empty());
    EXPECT_EQ(route.error, 0);
    EXPECT_EQ(RouteReason(route, false), c.skipped.starts_with("has no") ? "the route entry has no address"
                                                                         : "the route entry's port is not 1 to 65535");
  }
}

// What the trace shows of a route's logins and details, in order.
TEST(ProfileTraceTest, LoginsDetailsAndTheirTimeOuts) {
  const struct {
    const char* name;
    RouteConfig route;
    std::vector<std::string> in_order;   // "@" marks a login header holding the text after it
    int details;                         // records the route took
    std::uint32_t first_to_last_ms = 0;  // from the first line to the last, when given
  } cases[] = {
      {"connect refused", {.refuse = true},
       {"0: connect via route r1 127.0.0.1 6979 (27001)",
        "0: connect() failed to r1 127.0.0.1 6979 (27001) " + SocketErrorText(WSAECONNREFUSED)},
       0},
      // Each login carries the next login sequence number; five seconds for each of three.
      {"logins unanswered", {.profile_login = {.kind = LoginReplyConfig::Kind::Silent}},
       {"@\"//0702// P 0000000001 0001 0025 0000 PROFILE",
        "Timeout waiting for login response Retry(1) - Retransmit Login", "@\"//0703// P 0000000001 0001 0025 ",
        "Timeout waiting for login response Retry(2) - Retransmit Login", "@\"//0704// P 0000000001 0001 0025 ",
        "Timeout waiting for login response - Retries expired"},
       0, 15000},
      // The first reply comes after the second login is out, and is taken for it.
      {"login answered late", {.profile_login = {.delay_ms = 5100}},
       {"@\"//0702// P ", "Timeout waiting for login response Retry(1) - Retransmit Login", "@\"//0703// P ",
        "25 Detail Records Transmitted", "r1 Profiling Complete - Score (0) 5.30sec Elapsed"},
       25},
      {"login refused",
       {.profile_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 12, .text = "Circuit refused"}},
       {"@\"//0702// P ", "Circuit refused"}, 0},
      {"no heartbeat", {.profile_heartbeat = false},
       {"@\"//0702// P ", "25 Detail Records Transmitted", "Timeout waiting for heartbeat response"}, 25},
      {"three records reported", {.profile_heartbeat_text = "3,7-9"},
       {"@\"//0702// P ", "r1 Profiling Complete - Score (4) 0.20sec Elapsed"}, 25},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedRig rig;
    rig.AddRoute(c.route);
    rig.profiler.ProfileRoutes(rig.routes);
    const ScriptedHost& host = rig.host;
    std::vector<int> at;
    int logins = 0;
    for (const std::string& want : c.in_order) {
      const bool login = want.starts_with("@");
      int i = at.empty() ? 0 : at.back() + 1;
      for (; i < static_cast<int>(host.lines.size()); ++i) {
        const std::string& line = host.lines[static_cast<std::size_t>(i)];
        if (login ? line.starts_with("<Tx>     Sa (L)Login") && line.find(want.substr(1)) != std::string::npos
                  : line == want)
          break;
      }
      ASSERT_LT(i, static_cast<int>(host.lines.size())) << "missing in order: " << want << "\n" << host.Dump();
      at.push_back(i);
      logins += login ? 1 : 0;
    }
    EXPECT_EQ(host.CountPrefix("<Tx>     Sa (L)Login"), logins);
    EXPECT_EQ(host.CountPrefix("Timeout waiting for login response - Retries expired"), logins == 3 ? 1 : 0);
    EXPECT_EQ(rig.transport.RouteStats(0).details, c.details);
    if (c.first_to_last_ms > 0) {
      const std::uint32_t took = host.ticks[static_cast<std::size_t>(at.back())] -
                                 host.ticks[static_cast<std::size_t>(at[0])];
      EXPECT_GE(took, c.first_to_last_ms);
      EXPECT_LE(took, c.first_to_last_ms + 500);  // a few passes between the waits
    }
  }
}

// One failed route makes SOME ROUTES FAILED; all failed, FAILURE; none, no change.
TEST(ProfileResultTest, FailedRoutesDecideTheResultCode) {
  const RouteConfig ok{};
  const RouteConfig refused{.refuse = true};
  const struct {
    std::vector<RouteConfig> routes;
    std::vector<std::int32_t> scores;
    std::int32_t result;
  } cases[] = {
      {{ok, refused, ok}, {0, 25, 0}, kResultSomeRoutesFailed},
      {{refused, refused, refused}, {25, 25, 25}, kResultFailure},
      {{ok, ok}, {0, 0}, -1},
  };
  for (const auto& c : cases) {
    ScriptedRig rig;
    for (const RouteConfig& route : c.routes) rig.AddRoute(route);
    rig.host.result_code = -1;
    rig.profiler.ProfileRoutes(rig.routes);
    std::vector<std::int32_t> scores;
    for (const RouteEntry& r : rig.routes) scores.push_back(r.score);
    EXPECT_EQ(scores, c.scores);
    EXPECT_EQ(rig.host.result_code, c.result);
  }
}

// An entry without "=" has no name: both exchanges show it as "????".
TEST(ProfileResultTest, AnEntryWithoutANameIsShownAsUnknown) {
  ScriptedRig rig;
  rig.AddRoute();
  rig.routes[0].text = "127.0.0.1:27001";
  rig.profiler.ProfileRoutes(rig.routes);
  std::string last_sync;
  rig.keys.SynchronizeKeys(rig.routes, last_sync);
  EXPECT_TRUE(rig.host.Has("CurrentRoute ???? 127.0.0.1:27001")) << rig.host.Dump();
  EXPECT_TRUE(rig.host.Has("0: connect via route ???? 127.0.0.1 6979 (27001)"));
  EXPECT_EQ(rig.host.CountPrefix("???? Profiling Complete - Score (0) "), 1);
  EXPECT_TRUE(rig.host.Has("CurrentRoute(0) ???? 127.0.0.1:27001"));
  EXPECT_EQ(rig.routes[0].score, 0);
  EXPECT_EQ(rig.host.result_code, kResultSuccess);
}

// An entry without a dotted address is never connected to: the platform would make the
// broadcast address of it.
TEST(ProfileEntryTest, EntriesWithoutAddressAreSkippedAndFail) {
  for (const std::string entry : {"noaddress", "r1=", "r1=:27001", "r1=routes.test:27001", "r1=255.255.255.255:1"}) {
    SCOPED_TRACE(entry);
    ScriptedRig rig;
    rig.routes.push_back({entry, 25});
    rig.host.record.SetRoutes(rig.routes);
    rig.profiler.ProfileRoutes(rig.routes);
    EXPECT_TRUE(rig.host.Has("Route \"" + entry + "\" has no address - skipped")) << rig.host.Dump();
    EXPECT_TRUE(rig.transport.connects.empty());
    EXPECT_EQ(rig.routes[0].score, 25);
    const RunSnapshot s = rig.host.record.Snapshot();
    EXPECT_EQ(s.routes[0].outcome, RouteOutcome::ConnectFailed);
    EXPECT_TRUE(s.routes[0].failed);
  }
}

// A record the socket took none of goes out again built anew, with the next client
// sequence; one it took part of is finished with the same bytes. The gateway gets every
// record whole and in order either way.
TEST(DetailSendTest, BlockedAndPartialSendsKeepEveryRecordWhole) {
  const struct {
    const char* name;
    int send_limit;
    bool block_second;
    int first_client;   // of record 2; record k > 2 then has this + k - 2
    int blocked_lines;  // "<!Tx>" header lines traced
  } cases[] = {
      {"whole sends", 0, false, 3, 0},
      {"the second record blocked", 0, true, 4, 1},
      {"every record in parts", 100, false, 3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedRig rig;
    rig.AddRoute();
    rig.transport.send_limit = c.send_limit;
    if (c.block_second) FailSend('D', 2, WSAEWOULDBLOCK)(rig.transport);
    rig.profiler.ProfileRoutes(rig.routes);

    std::vector<std::pair<std::int32_t, std::int32_t>> details;
    for (std::size_t i = 0; i < rig.transport.sent_types.size(); ++i)
      if (rig.transport.sent_types[i] == 'D') details.push_back(rig.transport.sent_sequences[i]);
    ASSERT_EQ(details.size(), 25u) << rig.host.Dump();
    EXPECT_EQ(details[0], std::make_pair(2, 1));
    for (int k = 2; k <= 25; ++k)
      EXPECT_EQ(details[static_cast<std::size_t>(k - 1)], std::make_pair(c.first_client + k - 2, k)) << k;
    EXPECT_EQ(rig.host.CountPrefix("<!Tx>"), c.blocked_lines);
    if (c.blocked_lines > 0) {
      // The header of the attempt that was not taken, under the sequence it had.
      EXPECT_TRUE(rig.host.Has("<!Tx>    Sa (D)Detail        209      001000 cli0003 seq0002 \"//0702// U none\" //0//"))
          << rig.host.Dump();
    }
    EXPECT_EQ(rig.routes[0].score, 0);
  }
}

}  // namespace
}  // namespace zp::test
