// The support report read back by a real HTML parser (html5lib, strict), as a browser
// reads it: nothing from elsewhere, every hostile text shown as text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "support/ProcessRunner.h"
#include "report/HistoryRows.h"
#include "report/PlotModel.h"
#include "run/NextSteps.h"
#include "report/PlotSvg.h"
#include "report/HtmlReport.h"

namespace zp {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr const char* kHostile = "</pre><script>alert(1)</script>&amp;\"'\x01\xff";

RunSnapshot HostileRun() {
  RunSnapshot run;
  run.settings = {"127.0.0.1,<b>evil</b>", 0x6900, "A"};
  run.start_time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'800'000'100'000));
  run.elapsed_seconds = 3.3;
  run.finished = true;
  run.result_code = 2;
  RouteResult good;
  good.entry = "r1=127.0.0.1:7000";
  good.name = "r1";
  good.outcome = RouteOutcome::Scored;
  good.profile_seconds = 0.2;
  RouteResult bad;
  bad.entry = std::string("r2") + kHostile + "=10.0.0.2:7000";
  bad.name = std::string("r2") + kHostile;
  bad.score = 25;
  bad.failed = true;
  bad.outcome = RouteOutcome::LoginRefused;
  bad.detail = kHostile;
  run.routes = {good, bad};
  run.key.outcome = KeyOutcome::Received;
  run.key.bytes = 128;
  return run;
}

HistoryRun Earlier(long long ms, int r1_score, bool r2_failed, const std::string& banner) {
  HistoryRun h;
  h.start_utc_ms = ms;
  h.banner = banner;
  h.routes = {{"r1=127.0.0.1:7000", "r1", r1_score, false, 0.3, "scored", ""},
              {"x", std::string("r2") + kHostile, r2_failed ? 25 : 0, r2_failed, 0.1, "scored", ""}};
  return h;
}

class HtmlReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() / ("zp-report-" + std::to_string(test::CurrentProcessId()) + ".html");
  }
  void TearDown() override { std::filesystem::remove(path_); }

  nlohmann::json Read(const std::string& html) {
    std::ofstream(path_, std::ios::binary) << html;
    test::Program check({ZP_TEST_PYTHON, ZP_HTML_CHECK, path_.string()});
    EXPECT_EQ(check.Finish(30), 0) << check.err;
    return nlohmann::json::parse(check.out.empty() ? "{}" : check.out);
  }

  std::filesystem::path path_;
};

TEST_F(HtmlReportTest, IsSelfContainedAndShowsHostileTextAsText) {
  ReportInput in;
  in.run = HostileRun();
  in.history = {Earlier(1'800'000'000'000, 0, false, "SUCCESS"), Earlier(1'800'000'050'000, 2, false, "SUCCESS")};
  in.trace = {std::string("ExpressT\tTue 12/08 04:50:12\t") + kHostile};
  in.version = "1.2.3";
  in.system = "Test OS <1>";
  const nlohmann::json doc = Read(HtmlReport(in));
  ASSERT_FALSE(doc.empty());

  EXPECT_EQ(doc["charset"], 1);
  EXPECT_TRUE(doc["outside"].empty()) << doc["outside"];
  EXPECT_EQ(doc["banner"], "S O M E   R O U T E S   F A I L E D");
  // The hostile text comes back as the characters it was, with its unprintable bytes named.
  const std::string shown = "</pre><script>alert(1)</script>&amp;\"'\\x01\\xFF";
  EXPECT_THAT(doc["trace"].get<std::string>(), HasSubstr(shown));
  const auto routes = doc["routes"];
  ASSERT_EQ(routes.size(), 3u);
  EXPECT_EQ(routes[0][0], "Route");
  // r1 went from 2 to 0 records missing; r2 now fails where it passed.
  EXPECT_EQ(routes[1][0], "r1");
  EXPECT_EQ(routes[1][5], "better (was 2)");
  EXPECT_EQ(routes[1][6], "0 2 0");
  EXPECT_EQ(routes[2][0], "r2" + shown);
  EXPECT_EQ(routes[2][5], "worse (was 0)");
  EXPECT_EQ(routes[2][6], "0 0 25");
  EXPECT_THAT(routes[2][4].get<std::string>(), HasSubstr("login refused: " + shown));
  const auto settings = doc["settings"];
  EXPECT_THAT(settings.dump(), HasSubstr("127.0.0.1,<b>evil</b>"));
  EXPECT_THAT(settings.dump(), HasSubstr("Test OS <1>"));
  EXPECT_THAT(settings.dump(), HasSubstr("1.2.3"));
  EXPECT_THAT(settings.dump(), HasSubstr("2027-01-15T08:01:40Z"));
  // Two plots (score, profiling time), one line per route, one point per route per run.
  EXPECT_EQ(doc["svg"], nlohmann::json::array({2, 2}));
  EXPECT_EQ(doc["svg_points"], nlohmann::json::array({6, 6}));
  EXPECT_EQ(doc["svg_legend"][0][1], "\u25A0 r2" + shown);
  ASSERT_EQ(doc["history"].size(), 4u);  // heading, this run, two earlier
  EXPECT_EQ(doc["history"][1][1], "SOME ROUTES FAILED");
  // The failed route is marked, and what to check next names it as the table does.
  EXPECT_EQ(doc["failed_routes"], nlohmann::json::array({2}));
  EXPECT_EQ(doc["next_steps"], nlohmann::json::array({"r2" + shown + " \u2014 " + NextStepOf(OutcomeKind::RouteLoginRefused)}));
  EXPECT_EQ(doc["result"], "Result: SOME ROUTES FAILED, 1 of 2 routes failed.");
}

TEST_F(HtmlReportTest, WithoutHistoryOrRoutesSaysWhy) {
  ReportInput in;
  in.run.finished = true;
  in.run.result_code = 0;
  ServerResult server;
  server.server = "<host>";
  server.outcome = ServerOutcome::LookupFailed;
  in.run.servers = {server};
  in.history_note = "history is not available in this build";
  const std::string html = HtmlReport(in);
  const nlohmann::json doc = Read(html);
  EXPECT_EQ(doc["banner"], "F A I L U R E");
  EXPECT_TRUE(doc["routes"].is_null());
  EXPECT_TRUE(doc["svg"].empty());
  EXPECT_THAT(html, HasSubstr("history is not available in this build"));
  EXPECT_THAT(html, HasSubstr("&lt;host&gt;"));
  // Why no list came, and what the name's failed lookup calls for.
  EXPECT_EQ(doc["next_steps"], nlohmann::json::array({"Route list \u2014 " + std::string(NextStepOf(OutcomeKind::NoRouteServerAnswered)),
                                                      "<host>:0 \u2014 " + std::string(NextStepOf(OutcomeKind::ServerLookupFailed))}));
}

TEST_F(HtmlReportTest, AKeyThatFailedStandsBesideTheResult) {
  ReportInput in;
  in.run = HostileRun();
  in.run.routes.pop_back();
  in.run.result_code = 0;
  in.run.key = {.outcome = KeyOutcome::Failed, .detail = "no <key>"};
  const nlohmann::json doc = Read(HtmlReport(in));
  EXPECT_EQ(doc["result"], "Result: FAILURE, 0 of 1 routes failed; public key not received: no <key>.");
  EXPECT_EQ(doc["failed_routes"], nlohmann::json::array());
}

// A stopped run never reads as one where nothing failed.
TEST(HistoryRowsTest, FailedRoutesSayWhatAStopLeftUnknown) {
  struct Case {
    bool stopped;
    std::vector<std::pair<bool, const char*>> routes;  // failed, outcome
    const char* want;
  };
  const Case cases[] = {
      {false, {{false, "scored"}, {false, "scored"}}, "none"},
      {false, {{true, "connect_failed"}, {false, "scored"}, {true, "no_heartbeat"}}, "r1, r3"},
      {true, {{false, "scored"}, {false, "stopped"}, {false, "not_tried"}}, "stopped, 2 of 3 routes not scored"},
      {true, {{true, "connect_failed"}, {false, "not_tried"}}, "r1; stopped, 1 of 2 routes not scored"},
      {true, {{false, "scored"}}, "stopped"},
      {true, {}, "stopped before the route list"},
  };
  for (const Case& c : cases) {
    HistoryRun run;
    run.stopped = c.stopped;
    for (const auto& [failed, outcome] : c.routes)
      run.routes.push_back({"", "r" + std::to_string(run.routes.size() + 1),
                            ScoredOutcome(outcome) ? std::optional(25) : std::nullopt, failed, 0, outcome, ""});
    EXPECT_EQ(FailedRoutesText(run), c.want);
  }
  EXPECT_EQ(SettingsText({"127.0.0.1,h", 0x6900, "A"}), "127.0.0.1,h:6900 A");
}

TEST(PlotModelTest, OneSeriesPerRouteWithEachRunsResultAsItsShape) {
  std::vector<HistoryRun> runs = {Earlier(1, 0, false, "SUCCESS"), Earlier(2, 5, true, "SOME ROUTES FAILED")};
  runs[1].routes.push_back({"r3=1.1.1.1:1", "", 1, false, 0, "scored", ""});
  runs[1].routes.push_back({"r4=1.1.1.1:1", "r4", std::nullopt, false, 0, "stopped", ""});  // no score: no point
  const PlotModel plot = MakePlot(runs, PlotModel::Measure::Score);
  ASSERT_EQ(plot.series.size(), 3u);
  EXPECT_EQ(plot.series[0].name, "r1");
  EXPECT_EQ(plot.series[1].name, std::string("r2") + kHostile);
  EXPECT_EQ(plot.series[2].name, "r3=1.1.1.1:1");
  EXPECT_EQ(plot.series[1].points.back().marker, MarkerShape::Triangle);
  EXPECT_EQ(plot.series[1].points.back().x, 2);
  // Whole numbers with room above the failure mark.
  EXPECT_GT(plot.y.max, 25);
  for (const PlotTick& t : plot.y.ticks) EXPECT_EQ(t.label.find('.'), std::string::npos) << t.label;
  const std::string svg = PlotSvg(plot, 400, 200);
  EXPECT_THAT(svg, HasSubstr("<polygon"));  // the second run's points are triangles
  EXPECT_EQ(svg.find("<script"), std::string::npos);
  EXPECT_EQ(svg.find(kHostile), std::string::npos);  // the route's name is escaped
}

TEST(PlotModelTest, TicksAreRoundAndCoverTheValues) {
  struct Case {
    double top;
    int wanted;
    std::vector<double> ticks;
  };
  const Case cases[] = {
      {26, 6, {0, 5, 10, 15, 20, 25, 30}},
      {0.41, 5, {0, 0.1, 0.2, 0.3, 0.4, 0.5}},
      {301, 6, {0, 100, 200, 300, 400}},
      {40, 6, {0, 10, 20, 30, 40}},
      {1, 6, {0, 0.2, 0.4, 0.6, 0.8, 1}},
  };
  for (const Case& c : cases) {
    const std::vector<double> ticks = RoundTicks(c.top, c.wanted);
    ASSERT_EQ(ticks.size(), c.ticks.size()) << c.top;
    for (std::size_t i = 0; i < ticks.size(); ++i) EXPECT_NEAR(ticks[i], c.ticks[i], 1e-9) << c.top;
  }
}

}  // namespace
}  // namespace zp
