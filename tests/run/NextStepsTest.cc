// The next-step table every front end reads: each outcome in words leads to one step,
// every outcome has its entry, and a run's steps come grouped in the order the results
// list them.
#include <gtest/gtest.h>

#include <set>
#include <type_traits>
#include <utility>
#include <variant>

#include "net/ZWinSock.h"
#include "run/NextSteps.h"
#include "run/RunConstants.h"
#include "run/RunWords.h"

namespace zp {
namespace {

using K = OutcomeKind;

RouteResult Route(RouteOutcome outcome, int score = 25, int error = 0, std::string detail = {}) {
  RouteResult r;
  r.name = "r1";
  r.outcome = outcome;
  r.score = score;
  r.error = error;
  r.detail = std::move(detail);
  return r;
}

ServerResult Server(ServerOutcome outcome, int error = 0, int routes = 0) {
  ServerResult s;
  s.server = s.address = "127.0.0.1";
  s.outcome = outcome;
  s.error = error;
  s.routes = routes;
  return s;
}

TEST(NextStepsTest, EachOutcomeInWordsLeadsToItsStep) {
  struct Case {
    std::variant<RouteResult, ServerResult, KeyResult> result;
    bool stopped;
    OutcomeKind kind;
    const char* hint;  // what the step must send the operator to; empty: no step
  };
  const Case cases[] = {
      {Route(RouteOutcome::Scored, 0), false, K::RouteAllArrived, ""},
      {Route(RouteOutcome::Scored, 3), false, K::RouteSomeMissing, "packet loss"},
      {Route(RouteOutcome::Scored, 25), false, K::RouteAllMissing, "packet loss"},
      {Route(RouteOutcome::Scored, 26), false, K::RouteBrokenAnswer, "gateway's operator"},
      {Route(RouteOutcome::ConnectFailed, 25, WSAECONNREFUSED), false, K::RouteRefused, "Nothing listens"},
      {Route(RouteOutcome::ConnectFailed, 25, WSAETIMEDOUT), false, K::RouteConnectUnanswered, "firewalls"},
      {Route(RouteOutcome::ConnectFailed, 25, WSAENETUNREACH), false, K::RouteUnreachable, "routing"},
      {Route(RouteOutcome::ConnectFailed, 25, 0, "no address"), false, K::RouteNoAddress, "route list"},
      {Route(RouteOutcome::ConnectFailed, 25, 0, "port out of range"), false, K::RoutePortOutOfRange, "route list"},
      {Route(RouteOutcome::ConnectFailed, 25, WSAEACCES), false, K::RouteConnectOther, "system error"},
      {Route(RouteOutcome::LoginRefused, 25, 0, "ACCESS DENIED"), false, K::RouteLoginRefused, "account"},
      {Route(RouteOutcome::NoLoginAnswer), false, K::RouteNoLoginAnswer, "gateway's operator"},
      {Route(RouteOutcome::NoHeartbeat), false, K::RouteNoHeartbeat, "gateway's operator"},
      {Route(RouteOutcome::ConnectionLost), false, K::RouteConnectionLost, "cuts connections"},
      {Route(RouteOutcome::Stopped), true, K::RouteStopped, "run the test again"},
      {Route(RouteOutcome::NotTried), true, K::RouteNotTriedStopped, "run the test again"},
      {Route(RouteOutcome::NotTried), false, K::RouteNotTried, "trace"},
      {Server(ServerOutcome::Answered, 0, 3), false, K::ServerAnswered, ""},
      {Server(ServerOutcome::Answered), false, K::ServerListedNone, "route code"},
      {Server(ServerOutcome::NotOk), false, K::ServerNotOk, "route code"},
      {Server(ServerOutcome::NoAnswer), false, K::ServerNoAnswer, "route server works"},
      {Server(ServerOutcome::ConnectFailed, WSAECONNREFUSED), false, K::ServerRefused, "port typed"},
      {Server(ServerOutcome::ConnectFailed, WSAETIMEDOUT), false, K::ServerConnectUnanswered, "firewalls"},
      {Server(ServerOutcome::ConnectFailed, WSAEHOSTUNREACH), false, K::ServerUnreachable, "routing"},
      {Server(ServerOutcome::ConnectFailed, WSAEACCES), false, K::ServerConnectOther, "system error"},
      {Server(ServerOutcome::SendFailed), false, K::ServerSendFailed, "firewall or proxy"},
      {Server(ServerOutcome::LookupFailed), false, K::ServerLookupFailed, "DNS servers"},
      {Server(ServerOutcome::Stopped), true, K::ServerStopped, "run the test again"},
      {KeyResult{.outcome = KeyOutcome::Received}, false, K::KeyReceived, ""},
      {KeyResult{.outcome = KeyOutcome::Failed, .detail = "no key"}, false, K::KeyNotReceived, "gateway's operator"},
      {KeyResult{}, true, K::KeyNotReachedStopped, "run the test again"},
      {KeyResult{}, false, K::KeyNotReached, "trace"},
  };
  std::set<OutcomeKind> seen;
  for (const Case& c : cases) {
    // The words the results show beside the outcome, and the outcome the step is told for.
    const auto [words, kind] = std::visit(
        [&](const auto& r) -> std::pair<std::string, OutcomeKind> {
          using T = std::decay_t<decltype(r)>;
          if constexpr (std::is_same_v<T, RouteResult>) return {RouteReason(r, c.stopped), OutcomeOf(r, c.stopped)};
          else if constexpr (std::is_same_v<T, ServerResult>) return {ServerReason(r), OutcomeOf(r)};
          else return {KeyReason(r, c.stopped), OutcomeOf(r, c.stopped)};
        },
        c.result);
    SCOPED_TRACE(words);
    EXPECT_EQ(kind, c.kind);
    seen.insert(kind);
    const std::string step = NextStepOf(kind);
    if (*c.hint == '\0') EXPECT_EQ(step, "");
    else EXPECT_NE(step.find(c.hint), std::string::npos) << step;
  }

  // The route list as a whole, from what the route servers were.
  RunSnapshot run;
  EXPECT_EQ(RouteListOutcomeOf(run), K::NoRouteServerAsked);
  run.servers = {Server(ServerOutcome::ConnectFailed, WSAECONNREFUSED)};
  EXPECT_EQ(RouteListOutcomeOf(run), K::NoRouteServerAnsweredByAddress);
  run.servers.push_back({.server = "routes.example", .outcome = ServerOutcome::LookupFailed});
  EXPECT_EQ(RouteListOutcomeOf(run), K::NoRouteServerAnswered);
  EXPECT_NE(std::string(NextStepOf(K::NoRouteServerAnswered)).find("DNS cache"), std::string::npos);
  for (OutcomeKind k : {K::NoRouteServerAsked, K::NoRouteServerAnsweredByAddress, K::NoRouteServerAnswered})
    seen.insert(k);

  // The run as a whole, from its result, its routes and its key.
  const auto run_of = [](std::int32_t code, std::vector<RouteResult> routes, KeyOutcome key, bool stopped) {
    RunSnapshot r;
    r.finished = true;
    r.stopped = stopped;
    r.result_code = code;
    r.routes = std::move(routes);
    r.key.outcome = key;
    return RunOutcomeOf(r);
  };
  RouteResult failed = Route(RouteOutcome::NoHeartbeat);
  failed.failed = true;
  const RouteResult passed = Route(RouteOutcome::Scored, 0);
  const std::pair<OutcomeKind, OutcomeKind> runs[] = {
      {run_of(kResultSuccess, {passed}, KeyOutcome::Received, false), K::RunSuccess},
      {run_of(kResultSomeRoutesFailed, {passed, failed}, KeyOutcome::Failed, false), K::RunSomeRoutesFailed},
      {run_of(kResultSuccess, {failed, failed}, KeyOutcome::Received, false), K::RunEveryRouteFailed},
      {run_of(kResultFailure, {passed}, KeyOutcome::Failed, false), K::RunKeyNotReceived},
      {run_of(kResultFailure, {failed}, KeyOutcome::Failed, false), K::RunKeyNotReceived},
      {run_of(kResultFailure, {}, KeyOutcome::NotReached, false), K::RunNoRouteList},
      {run_of(kResultSuccess, {passed}, KeyOutcome::NotReached, true), K::RunStopped},
  };
  for (const auto& [got, want] : runs) {
    EXPECT_EQ(got, want) << EntryOf(want)->code;
    seen.insert(got);
  }

  // Every entry of the table is reached by some outcome, and it is in the enum's order.
  const auto& table = NextStepTable();
  EXPECT_EQ(seen.size(), table.size());
  for (std::size_t i = 0; i < table.size(); ++i) EXPECT_EQ(static_cast<std::size_t>(table[i].outcome), i);
  EXPECT_EQ(table.size(), static_cast<std::size_t>(K::RunStopped) + 1);
}

// The codes are what machines read and what the monitoring guide's sections are named
// after: one per entry, told apart, in snake_case, with words for each; a value outside
// the table has no entry, so no code can be made up for it.
TEST(NextStepsTest, EachEntryHasItsOwnCodeAndNothingElseHasOne) {
  std::set<std::string> codes;
  for (const NextStepEntry& e : NextStepTable()) {
    const std::string code = e.code;
    SCOPED_TRACE(code);
    EXPECT_TRUE(codes.insert(code).second) << "given twice";
    ASSERT_FALSE(code.empty());
    EXPECT_TRUE(code.front() >= 'a' && code.front() <= 'z');
    for (const char c : code) EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_');
    EXPECT_NE(*e.words, '\0');
    EXPECT_EQ(EntryOf(e.outcome), &e);
  }
  EXPECT_EQ(EntryOf(static_cast<OutcomeKind>(NextStepTable().size())), nullptr);
  EXPECT_EQ(EntryOf(static_cast<OutcomeKind>(-1)), nullptr);
  EXPECT_STREQ(NextStepOf(static_cast<OutcomeKind>(1000)), "");
}

TEST(NextStepsTest, ARunsStepsComeInTheResultsOrderOneLinePerStep) {
  RunSnapshot run;
  run.finished = true;
  run.routes = {Route(RouteOutcome::Scored, 0), Route(RouteOutcome::ConnectFailed, 25, WSAECONNREFUSED),
                Route(RouteOutcome::LoginRefused, 25, 0, "NO"), Route(RouteOutcome::ConnectFailed, 25, WSAECONNREFUSED)};
  run.routes[1].name = "r2";
  run.routes[2].name = "r3";
  run.routes[3].name = "";
  run.routes[3].entry = "r4=10.0.0.4:7000";
  run.key.outcome = KeyOutcome::Failed;
  const auto names = [](const NextStepLine& line) {
    std::vector<std::string> out;
    for (const auto& s : line.subjects) out.push_back(s.name);
    return out;
  };
  std::vector<NextStepLine> lines = NextStepsOf(run);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(names(lines[0]), (std::vector<std::string>{"r2", "r4=10.0.0.4:7000"}));  // same step, one line
  EXPECT_EQ(lines[0].subjects[1].index, 3u);
  EXPECT_EQ(lines[0].step, NextStepOf(K::RouteRefused));
  EXPECT_EQ(names(lines[1]), std::vector<std::string>{"r3"});
  EXPECT_EQ(names(lines[2]), std::vector<std::string>{"Public key"});

  // A stop leaves one thing to do, whatever it cut short.
  run.stopped = true;
  run.routes = {Route(RouteOutcome::Scored, 0), Route(RouteOutcome::Stopped), Route(RouteOutcome::NotTried)};
  run.routes[2].name = "r2";
  run.key = {};
  lines = NextStepsOf(run);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(names(lines[0]), (std::vector<std::string>{"r1", "r2", "Public key"}));

  // Without routes: why no list came, then each route server, and no key.
  run = {};
  run.finished = true;
  run.servers = {Server(ServerOutcome::ConnectFailed, WSAECONNREFUSED), Server(ServerOutcome::NoAnswer)};
  run.servers[1].server = "routes.example";
  lines = NextStepsOf(run);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].subjects[0].about, NextStepLine::About::RouteList);
  EXPECT_EQ(lines[0].step, NextStepOf(K::NoRouteServerAnswered));
  EXPECT_EQ(names(lines[2]), std::vector<std::string>{"routes.example"});
  EXPECT_EQ(lines[2].subjects[0].index, 1u);
}

}  // namespace
}  // namespace zp
