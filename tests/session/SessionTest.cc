// The session as every front end meets it, with scripted workers and no toolkit: the
// scenarios a window or the console lives through, from Test to the results and the
// history, and the ways a test ends early.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeWorker.h"
#include "framework/Errors.h"
#include "history/RunHistory.h"
#include "platform/QueueInvoker.h"
#include "platform/Tick.h"
#include "run/NextSteps.h"
#include "session/ProbeSession.h"
#include "support/ProcessRunner.h"
#include "support/ScratchFolder.h"

namespace zp::test {
namespace {

using Clock = std::chrono::steady_clock;

// A front end reduced to what it is told: it serves hand-overs, polls, and keeps every
// line, box and end it was handed.
class SessionDriver {
 public:
  explicit SessionDriver(std::shared_ptr<RunHistory> history = nullptr) {
    SessionOptions options;
    options.history = std::move(history);
    options.factory = factory.Make();
    options.on_line = [this](const TraceLine& line) {
      texts.push_back(line.text);
      if (on_line) on_line(line.text);
    };
    options.on_test_start = [this](const TestStart& start) { starts.push_back(start.line); };
    options.error_box = [this](const std::string& text) {
      boxes.push_back(text);
      if (on_box) on_box();
    };
    session = std::make_unique<ProbeSession>(invoker, std::move(options));
  }
  ~SessionDriver() { session.reset(); }

  ProbeSession::StartAnswer Start(FakeWorker::Script script, std::string server = "127.0.0.1",
                                  std::string port = "6900") {
    script.alive = alive;
    factory.script = std::move(script);
    session->SetWorkerFactory(factory.Make());
    TestRequest request{1, "Internet using another route", std::move(server), std::move(port), "B"};
    return session->StartTest(request);
  }
  // Serves and polls until `done` holds, or `ms` pass; the views polled are kept.
  // One poll, keeping what it hands out: an ended test is handed out once.
  const SessionView& Poll() {
    views.push_back(session->Poll());
    if (views.back().ended) ended.push_back(*views.back().ended);
    return views.back();
  }
  bool Until(const std::function<bool()>& done, int ms = 5000) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
      Poll();
      if (done()) return true;
      Event never(Event::Reset::Manual);
      invoker->ServeFor(never, 5);
    }
    return done();
  }
  // Until `count` tests have ended in all.
  bool UntilEnded(std::size_t count = 1, int ms = 5000) {
    return Until([this, count] { return ended.size() >= count; }, ms);
  }
  // The results lines above what to check next, and the steps below it.
  std::vector<std::string> Lines(std::size_t index = 0) const { return Section(index, false); }
  std::vector<std::string> Steps(std::size_t index = 0) const { return Section(index, true); }
  std::vector<std::string> Section(std::size_t index, bool steps) const {
    const std::vector<ResultLine>& all = ended.at(index).results.lines;
    auto heading = std::find_if(all.begin(), all.end(), [](const ResultLine& l) { return l.kind == ResultLine::Kind::Steps; });
    std::vector<std::string> lines;
    for (auto it = steps ? heading + (heading != all.end()) : all.begin(); it != (steps ? all.end() : heading); ++it)
      lines.push_back(it->Text());
    if (!steps && heading != all.end()) lines.pop_back();  // the blank line before the steps
    return lines;
  }

  std::shared_ptr<QueueInvoker> invoker = std::make_shared<QueueInvoker>();
  std::shared_ptr<std::atomic<int>> alive = std::make_shared<std::atomic<int>>(0);
  FakeFactory factory;
  std::unique_ptr<ProbeSession> session;
  std::function<void(const std::string&)> on_line;
  std::function<void()> on_box;
  std::vector<std::string> texts, starts, boxes;
  std::vector<SessionView> views;
  std::vector<EndedRun> ended;
};

FakeWorker::Step TwoRoutes() {
  return [](FakeWorker& w) {
    w.AddRoute("G1=127.0.0.1:26881", 25);
    w.AddRoute("G2=127.0.0.2:26881", 25);
  };
}

// --- how a test ends ---

struct EndCase {
  const char* name;
  FakeWorker::Script script;
  const char* spaced;  // "" for an unknown code: no banner
  std::vector<std::string> lines;
  std::vector<std::string> boxes;
};

void PrintTo(const EndCase& c, std::ostream* os) { *os << c.name; }

class SessionEndTest : public ::testing::TestWithParam<EndCase> {};

TEST_P(SessionEndTest, TheEndComesOnceWithItsBannerAndResultsLines) {
  const EndCase& c = GetParam();
  SessionDriver driver;
  const auto answer = driver.Start(c.script);
  ASSERT_EQ(answer.refusal, TestRefusal::None);
  EXPECT_EQ(driver.starts, std::vector<std::string>{driver.starts.at(0)});
  EXPECT_NE(driver.starts[0].find("Test 1 started "), std::string::npos);
  EXPECT_NE(driver.starts[0].find("\u2014 127.0.0.1:6900, route code B"), std::string::npos);
  ASSERT_TRUE(driver.UntilEnded());
  ASSERT_EQ(driver.ended.size(), 1u);
  EXPECT_EQ(driver.ended[0].results.banner.spaced, c.spaced);
  EXPECT_EQ(driver.Lines(), c.lines);
  EXPECT_EQ(driver.boxes, c.boxes);
  // After the end: Test again, no Stop, the banner stays until the next test.
  const SessionView after = driver.session->Poll();
  EXPECT_FALSE(after.running);
  EXPECT_TRUE(after.test_enabled);
  EXPECT_FALSE(after.stop_enabled);
  EXPECT_FALSE(after.ended);
  EXPECT_EQ(after.status.thread, *c.spaced ? c.spaced : "Press Test to Begin");
  EXPECT_TRUE(driver.Until([&] { return *driver.alive == 0; }, 2000)) << "the ended worker is freed";
}

FakeWorker::Script Scored(std::int32_t code) {
  FakeWorker::Script s;
  s.discover = TwoRoutes();
  s.profile = [code](FakeWorker& w) {
    w.ScoreRoute(0, 0);
    w.ScoreRoute(1, 25, /*failed=*/code == kResultSomeRoutesFailed);
    w.SetResultCode(code);
  };
  return s;
}

const char* const kKeyNotReached = "Public key: not reached";

INSTANTIATE_TEST_SUITE_P(
    Ends, SessionEndTest,
    ::testing::Values(
        EndCase{"Success", Scored(kResultSuccess), "S U C C E S S",
                {"Score\tRoute\tChange\tOutcome", "     0\tG1=127.0.0.1:26881\t\u2014\tall 25 detail records arrived",
                 "    25\tG2=127.0.0.2:26881\t\u2014\tall 25 detail records missing", "", kKeyNotReached}},
        EndCase{"SomeRoutesFailed", Scored(kResultSomeRoutesFailed), "S O M E   R O U T E S   F A I L E D",
                {"Score\tRoute\tChange\tOutcome", "     0\tG1=127.0.0.1:26881\t\u2014\tall 25 detail records arrived",
                 "    25\tG2=127.0.0.2:26881\t\u2014\tcould not connect: ", "", kKeyNotReached}},
        EndCase{"UnknownCodeHasNoBanner", Scored(3), "",
                {"Score\tRoute\tChange\tOutcome", "     0\tG1=127.0.0.1:26881\t\u2014\tall 25 detail records arrived",
                 "    25\tG2=127.0.0.2:26881\t\u2014\tall 25 detail records missing", "", kKeyNotReached}},
        EndCase{"AnErrorBoxThenFailure",
                {.discover = [](FakeWorker&) { throw ZError("Queue <b>corrupted</b>"); }},
                "F A I L U R E",
                {"No route server was asked."},
                {"ExpressT\r\nQueue <b>corrupted</b>"}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SessionTest, ServersAskedAgainSayIt) {
  // The two pauses before asking again pass in a moment.
  testing::SetTimeScale(200.0);
  SessionDriver driver;
  FakeWorker::Script script;
  // Each round asks the one server, which never answers.
  script.discover = [](FakeWorker& w) {
    ServerResult s;
    s.server = "rs.example";
    s.address = "127.0.0.9";
    s.port = 0x6900;
    s.outcome = ServerOutcome::NoAnswer;
    s.round = w.Record().Snapshot().discovery_rounds;
    w.Record().AddServer(s);
  };
  driver.Start(script);
  ASSERT_TRUE(driver.UntilEnded());
  EXPECT_EQ(driver.Lines(), (std::vector<std::string>{
                                "No route server gave a route. Route servers asked:",
                                "    rs.example:6900 (127.0.0.9) \u2014 did not answer within 40 s",
                                "    rs.example:6900 (127.0.0.9) \u2014 did not answer within 40 s (asked again)"}));
  EXPECT_TRUE(driver.ended[0].results.lines[1].failed);
  // Why no list came, then what the server's silence calls for, naming it once.
  const std::vector<std::string> steps = driver.Steps();
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_EQ(steps[0].rfind("    Route list \u2014 ", 0), 0u) << steps[0];
  EXPECT_EQ(steps[1], "    rs.example:6900 (127.0.0.9) \u2014 " + std::string(NextStepOf(OutcomeKind::ServerNoAnswer)));
  driver.session.reset();
  testing::ResetClock();
}

// --- one test at a time, and while it runs ---

TEST(SessionTest, OneTestAtATimeAndTheStatusSaysWhereItIs) {
  SessionDriver driver;
  FakeWorker::Script script;
  script.discover = TwoRoutes();
  script.profile = [](FakeWorker& w) {
    w.ScoreRoute(0, 4);
    w.Record().BeginRoute(1);
    w.Record().SetRouteStep(1, RouteStep::WaitingForLogin);
    w.Record().BeginWait(WaitKind::LoginReply, "G2", 5000, 2, 3);
    w.SetStatusText("Profiling to G2");
    w.WaitForStop();
  };
  const auto first = driver.Start(script);
  ASSERT_EQ(first.refusal, TestRefusal::None);
  EXPECT_TRUE(first.view.running);
  EXPECT_FALSE(first.view.test_enabled);
  EXPECT_EQ(first.view.status.thread, "ExpressT") << "no stale prompt once Test is pressed";
  ASSERT_TRUE(driver.Until([&] { return driver.views.back().status.status == "Profiling to G2"; }));
  const StatusView status = driver.views.back().status;
  EXPECT_EQ(status.state, "UpdateRoutes");
  EXPECT_EQ(status.phase.find("Profiling route 2 of 2: waiting for the login reply \u2014 "), 0u) << status.phase;
  EXPECT_NE(status.phase.find(" s left, attempt 2 of 3"), std::string::npos) << status.phase;
  EXPECT_EQ(status.progress_value, 1);
  EXPECT_EQ(status.progress_maximum, 2);
  EXPECT_TRUE(driver.views.back().stop_enabled);

  const auto second = driver.Start({});
  EXPECT_EQ(second.refusal, TestRefusal::TestRunning);
  EXPECT_EQ(driver.factory.made->size(), 1u);

  driver.session->StopTest();
  EXPECT_FALSE(driver.Poll().stop_enabled);
  ASSERT_TRUE(driver.UntilEnded());
  EXPECT_EQ(driver.ended[0].results.banner.spaced, "S T O P P E D");
  EXPECT_EQ(driver.Lines()[1], "     4\tG1=127.0.0.1:26881\t\u2014\t4 of 25 detail records missing");
}

TEST(SessionTest, WhatTheOperatorMustMendIsRefusedBeforeAnyWorker) {
  SessionDriver driver;
  struct Case {
    std::string server, port;
    TestRefusal refusal;
  };
  for (const Case& c : {Case{" ", "6900", TestRefusal::ServerMissing}, Case{"h", "", TestRefusal::PortInvalid},
                        Case{"h", "ZZ12", TestRefusal::PortInvalid}, Case{"h", "0", TestRefusal::PortInvalid},
                        Case{"h", "10000", TestRefusal::PortInvalid}}) {
    const auto answer = driver.Start({}, c.server, c.port);
    EXPECT_EQ(answer.refusal, c.refusal) << c.server << ":" << c.port;
    EXPECT_FALSE(answer.message.empty());
  }
  EXPECT_TRUE(driver.factory.made->empty());
  EXPECT_EQ(ParsePortText("fFfF"), 0xFFFF);
  EXPECT_EQ(ParsePortText("1"), 1);
}

// --- a stopped route says what it was doing ---

TEST(SessionTest, AStoppedRouteSaysWhatItWasDoingAndShowsNoScore) {
  struct Case {
    RouteStep step;
    const char* words;
  };
  const Case cases[] = {
      {RouteStep::Connecting, "stopped while connecting"},
      {RouteStep::WaitingForLogin, "stopped while waiting for the login reply"},
      {RouteStep::SendingRecords, "stopped while sending the detail records"},
      {RouteStep::WaitingForHeartbeat, "stopped during the heartbeat wait"},
      {RouteStep::LoggingOut, "stopped while logging out"},
  };
  for (const Case& c : cases) {
    SessionDriver driver;
    FakeWorker::Script script;
    script.discover = TwoRoutes();
    script.profile = [step = c.step](FakeWorker& w) {
      w.Record().BeginRoute(0);
      w.Record().SetRouteStep(0, step);
      w.WaitForStop();
      w.Record().EndRoute(0, RouteOutcome::Stopped, 25, false, 0.5, "");
    };
    driver.Start(script);
    ASSERT_TRUE(driver.Until([&] { return driver.views.back().status.phase == "Profiling route 1 of 2"; }));
    driver.session->StopTest();
    ASSERT_TRUE(driver.UntilEnded());
    EXPECT_EQ(driver.Lines().at(1), std::string("     \u2014\tG1=127.0.0.1:26881\t\u2014\tnot scored \u2014 ") + c.words);
    EXPECT_EQ(driver.Lines().at(2),
              "     \u2014\tG2=127.0.0.2:26881\t\u2014\tnot scored \u2014 not tried \u2014 test stopped");
    EXPECT_FALSE(driver.ended[0].run.routes[0].failed);
  }
}

// --- closing, whatever the test is doing ---

struct CloseCase {
  const char* name;
  FakeWorker::Script script;
  // Where the front end closes: from a line, from the error box, or after the start.
  enum When { kOnLine, kInBox, kAfterStart } when;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class SessionCloseTest : public ::testing::TestWithParam<CloseCase> {};

TEST_P(SessionCloseTest, ClosingStopsAndFreesTheWorkerWithinASecond) {
  const CloseCase& c = GetParam();
  SessionDriver driver;
  Clock::time_point closed_at{};
  bool closed = false;
  auto close = [&] {
    if (closed) return;
    closed = true;
    closed_at = Clock::now();
    driver.session->Close();
  };
  if (c.when == CloseCase::kOnLine)
    driver.on_line = [&](const std::string& text) {
      if (text.rfind("busy 3", 0) == 0) close();
    };
  if (c.when == CloseCase::kInBox) driver.on_box = close;
  driver.Start(c.script);
  if (c.when == CloseCase::kAfterStart) close();
  // The front end asks again until the session has let go of every worker.
  ASSERT_TRUE(driver.Until([&] { return closed && driver.session->Close(); }, 3000));
  EXPECT_EQ(*driver.alive, 0);
  EXPECT_LT(Clock::now() - closed_at, std::chrono::milliseconds(1200));
  EXPECT_TRUE(driver.ended.empty()) << "no results after a close";
  EXPECT_EQ(driver.session->StartTest({}).refusal, TestRefusal::Closing);
}

FakeWorker::Script Busy(FakeWorker::Step FakeWorker::Script::*where) {
  FakeWorker::Script s;
  s.*where = [](FakeWorker& w) {
    for (int i = 0; !w.Terminated(); ++i) {
      w.Trace("busy " + std::to_string(i));
      w.Pause(5);
    }
  };
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    WhileTheWorker, SessionCloseTest,
    ::testing::Values(CloseCase{"Traces", Busy(&FakeWorker::Script::discover), CloseCase::kOnLine},
                      CloseCase{"StartsSlowly", Busy(&FakeWorker::Script::startup), CloseCase::kOnLine},
                      CloseCase{"Waits", {.discover = [](FakeWorker& w) { w.WaitForStop(); }}, CloseCase::kAfterStart},
                      CloseCase{"ShowsTheErrorBox",
                                {.discover = [](FakeWorker&) { throw ZError("broken"); }},
                                CloseCase::kInBox}),
    [](const auto& p) { return std::string(p.param.name); });

// --- the history ---

TEST(SessionTest, EveryEndedTestIsRecordedWithEachRoutesChange) {
  if (!RunHistory::Available()) GTEST_SKIP() << RunHistory::UnavailableText();
  const ScratchFolder folder("zp-session");
  auto history = std::make_shared<RunHistory>(folder.File("history.db"));
  {
    SessionDriver driver(history);
    driver.Start(Scored(kResultSuccess));
    ASSERT_TRUE(driver.UntilEnded());
    EXPECT_TRUE(driver.ended[0].recorded);
    EXPECT_EQ(driver.Lines()[0], "Score\tRoute\tChange\tOutcome");
    EXPECT_EQ(driver.Lines()[1], "     0\tG1=127.0.0.1:26881\tnew\tall 25 detail records arrived");
    FakeWorker::Script worse = Scored(kResultSomeRoutesFailed);
    worse.profile = [](FakeWorker& w) {
      w.ScoreRoute(0, 3);
      w.ScoreRoute(1, 25);
      w.SetResultCode(kResultSuccess);
    };
    driver.Start(worse);
    ASSERT_TRUE(driver.UntilEnded(2));
    EXPECT_EQ(driver.Lines(1)[1], "     3\tG1=127.0.0.1:26881\tworse (was 0)\t3 of 25 detail records missing");
    EXPECT_EQ(driver.Lines(1)[2], "    25\tG2=127.0.0.2:26881\tsame\tall 25 detail records missing");
    // A test the front end stopped following when it closed is recorded once its worker ends.
    driver.Start({.discover = [](FakeWorker& w) { w.WaitForStop(); }});
    ASSERT_TRUE(driver.Until([&] { return driver.session->Close(); }, 3000));
  }
  const auto runs = history->Recent(10);
  ASSERT_TRUE(runs.has_value());
  ASSERT_EQ(runs->size(), 3u);
  EXPECT_EQ((*runs)[0].banner, "STOPPED");
  EXPECT_EQ((*runs)[1].banner, "SUCCESS");
  history.reset();
}

}  // namespace
}  // namespace zp::test
