// The results lines every front end shows: each way a route can end reads as words
// beside its score (a dash where there is none); texts from the gateway stay escaped.
#include <gtest/gtest.h>

#include "net/ZWinSock.h"
#include "run/NextSteps.h"
#include "session/ResultLines.h"

namespace zp::test {
namespace {

TEST(ResultLinesTest, EachRouteOutcomeReadsAsWordsBesideItsScore) {
  struct Case {
    RouteOutcome outcome;
    int score, error;
    const char* detail;
    bool stopped;
    const char* want;
    RouteStep step = RouteStep::None;
  };
  const Case cases[] = {
      {RouteOutcome::Scored, 0, 0, "", false, "     0\tall 25 detail records arrived"},
      {RouteOutcome::Scored, 3, 0, "", false, "     3\t3 of 25 detail records missing"},
      {RouteOutcome::Scored, 1234567, 0, "", false, "1234567\tbroken answer: 1234567 records reported missing of 25 sent"},
      {RouteOutcome::ConnectFailed, 25, 10061, "", false, "    25\trefused the connection"},
      {RouteOutcome::LoginRefused, 25, 0, "ACCESS DENIED", false, "    25\tlogin refused: ACCESS DENIED"},
      {RouteOutcome::LoginRefused, 25, 0, "NO\x1B[2J", false, "    25\tlogin refused: NO\\x1B[2J"},
      {RouteOutcome::NoLoginAnswer, 25, 0, "", false, "    25\tno answer to 3 logins"},
      {RouteOutcome::NoHeartbeat, 25, 0, "", false, "    25\tno heartbeat within 5 s"},
      {RouteOutcome::ConnectionLost, 25, 0, "", false, "    25\tconnection lost"},
      {RouteOutcome::NotTried, 25, 0, "", false, "     \u2014\tnot scored \u2014 not tried"},
      {RouteOutcome::NotTried, 25, 0, "", true, "     \u2014\tnot scored \u2014 not tried \u2014 test stopped"},
      {RouteOutcome::Stopped, 25, 0, "", true, "     \u2014\tnot scored \u2014 stopped during the heartbeat wait",
       RouteStep::WaitingForHeartbeat},
  };
  for (const Case& c : cases) {
    RunSnapshot run;
    run.finished = !c.stopped;
    run.stopped = c.stopped;
    RouteResult route;
    route.entry = "G=10.0.0.1:26881";
    route.outcome = c.outcome;
    route.step = c.step;
    route.score = c.score;
    route.error = c.error;
    route.detail = c.detail;
    run.routes.push_back(route);
    const ResultsView view = MakeResults(run, std::nullopt);
    EXPECT_EQ(view.banner.word, c.stopped ? "STOPPED" : "FAILURE");
    ASSERT_GE(view.lines.size(), 2u);
    std::string want = c.want;
    // Without a history the change is a dash.
    want.insert(want.find('\t') + 1, "G=10.0.0.1:26881\t\u2014\t");
    EXPECT_EQ(view.lines[1].Text(), want);
  }
}

// What to check next comes after the lines it speaks of, naming routes as they do; a run
// with nothing to check has no such section, and a failed key stands beside the banner.
TEST(ResultLinesTest, WhatToCheckNextFollowsTheLinesItSpeaksOf) {
  RunSnapshot run;
  run.finished = true;
  run.result_code = 2;
  run.routes.push_back({.entry = "r1=10.0.0.1:7000", .name = "r1", .outcome = RouteOutcome::Scored});
  run.routes.push_back({.entry = "r\x1B""2=10.0.0.2:7000", .name = "r\x1B""2", .score = 25, .failed = true,
                        .outcome = RouteOutcome::ConnectFailed, .error = WSAECONNREFUSED});
  run.key = {.outcome = KeyOutcome::Failed, .detail = "no key"};
  ResultsView view = MakeResults(run, std::nullopt);
  ASSERT_EQ(view.lines.size(), 9u);
  EXPECT_EQ(view.lines[4].Text(), "Public key: not received: no key");
  EXPECT_EQ(view.lines[5].kind, ResultLine::Kind::Blank);
  EXPECT_EQ(view.lines[6].kind, ResultLine::Kind::Steps);
  EXPECT_EQ(view.lines[7].Text(), "    r\\x1B2 \u2014 " + std::string(NextStepOf(OutcomeKind::RouteRefused)));
  EXPECT_EQ(view.lines[8].Text(), "    Public key \u2014 " + std::string(NextStepOf(OutcomeKind::KeyNotReceived)));
  EXPECT_EQ(view.key_note, "Public key not received: no key");
  // Copy All and the console read the steps before the legend.
  EXPECT_LT(view.Text().find("What to check next:"), view.Text().find(view.legend));

  run.result_code = 1;
  run.routes.pop_back();
  run.key = {.outcome = KeyOutcome::Received, .bytes = 128};
  view = MakeResults(run, std::nullopt);
  EXPECT_EQ(view.lines.size(), 4u);
  EXPECT_EQ(view.key_note, "");
}

}  // namespace
}  // namespace zp::test
