// One run, every reader: the results lines, --json, the monitoring lines with their
// perfdata, the Prometheus textfile, the history row, --history and --history-route must
// tell the same story of it, above all of a route that was not scored.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/ConsoleRunner.h"
#include "cli/HistoryCommands.h"
#include "cli/JsonReport.h"
#include "cli/MonitoringReport.h"
#include "cli/PlainReport.h"
#include "cli/PrometheusReport.h"
#include "framework/Format.h"
#include "history/RunHistory.h"
#include "net/ZWinSock.h"
#include "run/RunConstants.h"
#include "run/RunWords.h"
#include "session/ResultLines.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr const char* kDash = "\u2014";

RouteResult Route(const std::string& name, RouteOutcome outcome, int score, bool failed, int error = 0,
                  RouteStep step = RouteStep::None) {
  RouteResult r;
  r.name = name;
  r.address = "127.0.0.1";
  r.port = 7000 + name.back() - '0';
  r.entry = r.name + "=" + r.address + ":" + std::to_string(r.port);
  r.score = score;
  r.failed = failed;
  r.outcome = outcome;
  r.error = error;
  r.step = step;
  r.profile_seconds = 0.25;
  return r;
}

struct Story {
  const char* name;
  std::vector<RouteResult> routes;
  std::int32_t result_code;
  KeyOutcome key;
  bool stopped;
  // What every reader must agree on.
  std::vector<std::optional<int>> scores;  // none: not scored
  int exit_status;
  int monitoring_status;
  std::string note;  // beside the banner; empty for none
  const char* run_code;  // what the run came to, as the metrics and --json code it
};

std::ostream& operator<<(std::ostream& os, const Story& s) { return os << s.name; }

const Story kStories[] = {
    {"healthy",
     {Route("r1", RouteOutcome::Scored, 0, false), Route("r2", RouteOutcome::Scored, 2, false)},
     kResultSuccess, KeyOutcome::Received, false, {0, 2}, 0, 0, "", "success"},
    {"refused",
     {Route("r1", RouteOutcome::Scored, 0, false), Route("r2", RouteOutcome::ConnectFailed, 25, true, WSAECONNREFUSED)},
     kResultSomeRoutesFailed, KeyOutcome::Received, false, {0, 25}, 1, 1, "", "some_routes_failed"},
    {"stopped mid-route",
     {Route("r1", RouteOutcome::Scored, 1, false),
      Route("r2", RouteOutcome::Stopped, 25, false, 0, RouteStep::WaitingForLogin),
      Route("r3", RouteOutcome::NotTried, 25, false)},
     kResultFailure, KeyOutcome::NotReached, true, {1, std::nullopt, std::nullopt}, 3, 3, "", "run_stopped"},
    {"never reached",
     {Route("r1", RouteOutcome::NotTried, 25, false), Route("r2", RouteOutcome::NotTried, 25, false)},
     kResultFailure, KeyOutcome::NotReached, true, {std::nullopt, std::nullopt}, 3, 3, "", "run_stopped"},
    {"no route list", {}, kResultFailure, KeyOutcome::NotReached, false, {}, 2, 2, "", "no_route_list"},
    {"key not received",
     {Route("r1", RouteOutcome::Scored, 0, false)},
     kResultFailure, KeyOutcome::Failed, false, {0}, 2, 2, "Public key not received: Keys locked", "key_not_received"},
    {"every route failed with the key",
     {Route("r1", RouteOutcome::NoHeartbeat, 25, true), Route("r2", RouteOutcome::ConnectFailed, 25, true, WSAECONNREFUSED)},
     kResultSuccess, KeyOutcome::Received, false, {25, 25}, 0, 1, kEveryRouteFailedNote, "every_route_failed"},
};

RunSnapshot RunOf(const Story& s) {
  RunSnapshot run;
  run.settings = {"127.0.0.1", 0x6900, "A"};
  run.start_time = std::chrono::system_clock::now();
  run.elapsed_seconds = 2.5;
  run.finished = true;
  run.stopped = s.stopped;
  run.result_code = s.result_code;
  run.routes = s.routes;
  run.key.outcome = s.key;
  if (s.key == KeyOutcome::Failed) run.key.detail = "Keys locked";
  if (s.key == KeyOutcome::Received) run.key.bytes = 220;
  if (s.routes.empty()) {
    ServerResult server;
    server.server = server.address = "127.0.0.1";
    server.port = 0x6900;
    server.outcome = ServerOutcome::ConnectFailed;
    server.error = WSAECONNREFUSED;
    run.servers = {server};
  }
  return run;
}

class OutputAgreementTest : public ::testing::TestWithParam<Story> {
 protected:
  void SetUp() override {
    std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : test)
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    dir_ = std::filesystem::temp_directory_path() / ("zp-agree-" + std::to_string(CurrentProcessId()) + "-" + test);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    options_.history_db = (dir_ / "history.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // What a history command writes on standard output.
  template <typename Command>
  std::string Printed(Command command) {
    const auto path = dir_ / "out.txt";
    std::FILE* file = std::fopen(path.string().c_str(), "w+b");
    if (file == nullptr) return {};
    ConsoleStream out(file), err(stderr);
    EXPECT_EQ(command(out, err), 0);
    std::fclose(file);
    return ReadAll(path);
  }
  static std::string ReadAll(const std::filesystem::path& path) {
    std::string text;
    if (std::FILE* f = std::fopen(path.string().c_str(), "rb")) {
      char buf[4096];
      for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
      std::fclose(f);
    }
    return text;
  }

  std::filesystem::path dir_;
  ConsoleOptions options_;
};

TEST_P(OutputAgreementTest, EveryOutputOfOneRunTellsTheSameStory) {
  const Story& story = GetParam();
  if (!RunHistory::Available()) GTEST_SKIP() << RunHistory::UnavailableText();
  RunHistory history(options_.history_db);
  ConsoleOutcome out;
  out.run = RunOf(story);
  out.end_state = story.stopped ? "UpdateRoutes" : "Halted";
  if (story.stopped) {
    out.stopped_by = "SIGTERM";
    out.stopped_phase = RunPhase::ProfilingRoutes;
  }
  out.ended = RecordEnded(&history, out.run);
  ASSERT_TRUE(out.ended->recorded) << out.ended->record_error;
  const RunSnapshot& run = out.run;
  const std::string banner = RunBannerWord(run);

  // The verdict: exit status, the monitoring state, the note beside the banner.
  EXPECT_EQ(ExitStatus(out), story.exit_status);
  EXPECT_EQ(MonitoringStatus(out), story.monitoring_status);
  const std::string plain = PlainReport(out);
  EXPECT_EQ(out.ended->results.key_note, story.note);
  if (!story.note.empty()) {
    EXPECT_THAT(plain, HasSubstr("\n" + story.note + "\n"));
  }
  const nlohmann::json doc = nlohmann::json::parse(JsonReport(out));
  EXPECT_EQ(doc["exit_status"], story.exit_status);
  EXPECT_EQ(doc["banner"], banner);
  EXPECT_EQ(doc["every_route_failed"], story.note == kEveryRouteFailedNote);
  const std::string monitoring = MonitoringReport(out);
  static const char* const kStates[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  EXPECT_THAT(monitoring, StartsWith(std::string("ZELVAN PROBE ") + kStates[story.monitoring_status] + " - "));
  const std::string metrics = PrometheusReport(out, std::chrono::system_clock::now());
  EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_result{banner=\"" + banner + "\"} " +
                                 std::to_string(story.exit_status) + "\n"));
  EXPECT_EQ(doc["outcome_code"], story.run_code);
  EXPECT_THAT(metrics, HasSubstr(std::string("\nzelvan_probe_run_outcome{outcome=\"") + story.run_code + "\"} 1\n"));
  EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_key_outcome{outcome=\"" + doc["key"]["outcome_code"].get<std::string>() +
                                 "\"} 1\n"));
  const auto recorded = history.Recent(1);
  ASSERT_TRUE(recorded && recorded->size() == 1u) << history.LastError();
  const HistoryRun& row = recorded->front();
  EXPECT_EQ(row.banner, banner);
  const std::string listed = Printed([&](ConsoleStream& s, ConsoleStream& e) { return PrintHistory(options_, 1, s, e); });
  EXPECT_THAT(listed, HasSubstr("  " + banner + " "));
  if (run.routes.empty()) {
    EXPECT_THAT(listed, HasSubstr(story.stopped ? "before the route list" : "no route list"));
  }

  // Each route: its score, or that it has none, in every form.
  std::vector<const ResultLine*> lines;
  for (const ResultLine& line : out.ended->results.lines)
    if (line.kind == ResultLine::Kind::Route) lines.push_back(&line);
  ASSERT_EQ(lines.size(), story.scores.size());
  ASSERT_EQ(doc["routes"].size(), story.scores.size());
  ASSERT_EQ(row.routes.size(), story.scores.size());
  int failed = 0;
  for (std::size_t i = 0; i < story.scores.size(); ++i) {
    const RouteResult& r = run.routes[i];
    const std::optional<int>& score = story.scores[i];
    SCOPED_TRACE(r.name);
    failed += r.failed ? 1 : 0;
    const std::string reason = RouteReason(r, run.stopped);
    const std::string labels = "{route=\"" + r.name + "\",address=\"127.0.0.1:" + std::to_string(r.port) + "\"} ";
    const std::string trend = Printed(
        [&](ConsoleStream& s, ConsoleStream& e) { return PrintRouteTrend(options_, r.name, 1, s, e); });
    ASSERT_EQ(lines[i]->columns.size(), 4u);
    EXPECT_EQ(lines[i]->columns[1], r.entry);
    EXPECT_EQ(lines[i]->columns[2], r.HasScore() ? "new" : kDash);
    EXPECT_EQ(row.routes[i].score, score);
    EXPECT_EQ(row.routes[i].failed, r.failed);
    EXPECT_EQ(doc["routes"][i]["failed"], r.failed);
    EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_route_failed" + labels + (r.failed ? "1" : "0") + "\n"));
    // Why, as one code in the document and the metrics; a failed route's next step in the
    // monitoring lines, as the document gives it.
    const std::string code = doc["routes"][i]["outcome_code"];
    std::string with_code = labels;
    with_code.insert(with_code.size() - 2, ",outcome=\"" + code + "\"");
    EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_route_outcome" + with_code + "1\n"));
    if (r.failed) {
      EXPECT_THAT(monitoring, HasSubstr(reason + "\n  what to check next: " +
                                        doc["routes"][i]["next_step"].get<std::string>() + "\n"));
    }
    if (score) {
      EXPECT_EQ(lines[i]->columns[0], Format("%6d", *score));
      EXPECT_EQ(lines[i]->columns[3], reason);
      EXPECT_EQ(doc["routes"][i]["score"], *score);
      EXPECT_THAT(monitoring, HasSubstr("'" + r.name + "'=" + std::to_string(*score) + ";;24;0;25"));
      EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_route_score" + labels + std::to_string(*score) + "\n"));
      EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_route_scored" + labels + "1\n"));
      EXPECT_THAT(trend, HasSubstr(Format("  score %3d  %8.3f s  ", *score, r.profile_seconds) +
                                   RouteOutcomeName(r.outcome)));
    } else {
      const std::string words = std::string("not scored ") + kDash + " " + reason;
      EXPECT_EQ(lines[i]->columns[0], std::string("     ") + kDash);
      EXPECT_EQ(lines[i]->columns[3], words);
      EXPECT_TRUE(doc["routes"][i]["score"].is_null());
      EXPECT_THAT(monitoring, HasSubstr("'" + r.name + "'=U;;24;0;25"));
      EXPECT_THAT(metrics, Not(HasSubstr("\nzelvan_probe_route_score" + labels)));
      EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_route_scored" + labels + "0\n"));
      EXPECT_THAT(trend, HasSubstr("Z  " + words + "  (run " + banner + ")\n"));
    }
  }
  if (!run.routes.empty()) {
    EXPECT_THAT(listed, HasSubstr(Format("%d of %zu routes failed", failed, run.routes.size())));
  }
}

// A route's change is told against its last score with these settings: a stopped run that
// cut it short and a run without a route list in between change nothing.
TEST_F(OutputAgreementTest, TheChangePassesOverRunsThatDidNotScoreTheRoute) {
  if (!RunHistory::Available()) GTEST_SKIP() << RunHistory::UnavailableText();
  RunHistory history(options_.history_db);
  const Story& healthy = kStories[0];
  for (const Story* story : {&kStories[0], &kStories[2], &kStories[4]})
    ASSERT_TRUE(RecordEnded(&history, RunOf(*story)).recorded) << story->name;
  const EndedRun again = RecordEnded(&history, RunOf(healthy));
  std::vector<std::string> changes;
  for (const ResultLine& line : again.results.lines)
    if (line.kind == ResultLine::Kind::Route) changes.push_back(line.columns[2]);
  // r1 scored 1 in the stopped run; r2 was cut short there, so the healthy run before it counts.
  EXPECT_THAT(changes, ::testing::ElementsAre("better (was 1)", "same"));
}

INSTANTIATE_TEST_SUITE_P(Stories, OutputAgreementTest, ::testing::ValuesIn(kStories),
                         [](const ::testing::TestParamInfo<Story>& story) {
                           std::string name = story.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

}  // namespace
}  // namespace zp::test
