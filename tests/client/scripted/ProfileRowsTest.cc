// Route profiling over the scripted transport: every way a route's profile can end, with
// the exact final text, the score, the recorded outcome and what it does to the worker.
#include <gtest/gtest.h>

#include "client/scripted/ScriptedRig.h"
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
  EXPECT_EQ(rig.host.result_code, row.score == 25 ? kResultFailure : 0);
  EXPECT_EQ(rig.host.closed_notifications, row.closes);
  EXPECT_FALSE(rig.connection.HasSocket());
  const RunSnapshot s = rig.host.record.Snapshot();
  ASSERT_EQ(s.routes.size(), 1u);
  EXPECT_EQ(s.routes[0].outcome, row.outcome);
  EXPECT_EQ(s.routes[0].failed, row.score == 25);
  EXPECT_EQ(s.routes[0].score, row.score);
}

const int kReset = WSAECONNRESET;

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
        ProfileRow{"closed after the login", {.close_stage = CloseStage::AfterLogin}, nullptr,
                   "TransmitDetail:  send() failed (10038) %E", WSAENOTSOCK, 25, RouteOutcome::ConnectionLost, 1}),
    RowName<ProfileRow>);

}  // namespace
}  // namespace zp::test
