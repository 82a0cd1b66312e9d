// The words a person reads for each outcome, from records the exchanges really filled in.
#include <gtest/gtest.h>

#include "run/RunWords.h"
#include "client/scripted/ScriptedRig.h"

namespace zp::test {
namespace {

using sim::LoginReplyConfig;
using sim::RouteConfig;

TEST(ReasonWordsTest, EachRouteOutcomeReadsAsItHappened) {
  const struct {
    RouteConfig route;
    std::function<void(ScriptedRig&)> fault;
    std::string words;
  } cases[] = {
      {{}, nullptr, "all 25 detail records arrived"},
      {{.profile_heartbeat_text = "3,5-7"}, nullptr, "4 of 25 detail records missing"},
      {{.profile_heartbeat_text = "1-300"}, nullptr, "broken answer: 300 records reported missing of 25 sent"},
      // Read as it stands, the range would be empty: "all 25 detail records arrived".
      {{.profile_heartbeat_text = "1-99999999999"}, nullptr, "the heartbeat listed records that were never sent"},
      {{.refuse = true}, nullptr, "refused the connection"},
      {{.profile_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 5, .text = "ACCESS DENIED"}}, nullptr,
       "login refused: ACCESS DENIED"},
      {{.profile_login = {.kind = LoginReplyConfig::Kind::Silent}}, nullptr, "no answer to 3 logins"},
      {{.profile_heartbeat = false}, nullptr, "no heartbeat within 5 s"},
      {{}, [](ScriptedRig& rig) { rig.transport.send_fault = [](char t, int) { return t == 'D' ? WSAECONNRESET : 0; }; },
       "connection lost: " + SocketErrorText(WSAECONNRESET)},
      // A stop before profiling began: the route was never reached.
      {{}, [](ScriptedRig& rig) { rig.host.stop = true; }, "not tried \u2014 test stopped"},
  };
  for (const auto& c : cases) {
    ScriptedRig rig;
    rig.AddRoute(c.route);
    if (c.fault) c.fault(rig);
    rig.host.record.SetRoutes(rig.routes);
    rig.profiler.ProfileRoutes(rig.routes);
    const RunSnapshot s = rig.host.record.Snapshot();
    EXPECT_EQ(RouteReason(s.routes.at(0), rig.host.stop), c.words) << rig.host.Dump();
  }
}

TEST(ReasonWordsTest, ServerAndKeyOutcomes) {
  EXPECT_EQ(ServerReason({"a", "127.0.0.1", 1, ServerOutcome::ConnectFailed, "", WSAECONNREFUSED}),
            "refused the connection");
  EXPECT_EQ(ServerReason({"a", "127.0.0.1", 1, ServerOutcome::Answered, "", 0, 3}), "answered with 3 routes");
  EXPECT_EQ(ServerReason({"a", "127.0.0.1", 1, ServerOutcome::NotOk, "BUSY"}), "answered without OK: \"BUSY\"");
  EXPECT_EQ(ServerReason({"a", "127.0.0.1", 1, ServerOutcome::NoAnswer}), "did not answer within 40 s");
  EXPECT_EQ(KeyReason({KeyOutcome::Received, "r1", 128, 0.25}, false), "received (128 bytes in 0.25 s)");
  EXPECT_EQ(KeyReason({KeyOutcome::Failed, "r1", 0, 0, 1, "Key not available"}, false),
            "not received: Key not available");
  EXPECT_EQ(KeyReason({}, true), "not reached \u2014 test stopped");
  RunSnapshot run;
  run.finished = true;
  run.result_code = kResultSomeRoutesFailed;
  EXPECT_STREQ(RunBanner(run), "S O M E   R O U T E S   F A I L E D");
  run.stopped = true;
  EXPECT_STREQ(RunBanner(run), "S T O P P E D");
  EXPECT_STREQ(RunBannerWord(run), "STOPPED");
}

}  // namespace
}  // namespace zp::test
