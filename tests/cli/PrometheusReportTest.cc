// The Prometheus textfile: what each kind of run gives, label values from a hostile
// network, and every document accepted by promtool.
#include "cli/PrometheusReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/Utf8Path.h"
#include "cli/Promtool.h"
#include "run/RunConstants.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(PrometheusLabelValueTest, EscapesWhatTheFormatRequiresAndKeepsTheDocumentUtf8) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"r1", "r1"},
      {"", ""},
      {"a\\b", "a\\\\b"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"two\nlines", "two\\nlines"},
      // Already-escaped looking text is escaped again, so it reads back as it came.
      {"\\n", "\\\\n"},
      {"\\\"", "\\\\\\\""},
      // Other characters are allowed as they are, tabs and multi-byte UTF-8 included.
      {"tab\there", "tab\there"},
      {"caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x80\x94 \xF0\x9F\x98\x80"},
      // Bytes that are not UTF-8 (a stray continuation, a cut sequence, an overlong form,
      // a surrogate, past U+10FFFF) are replaced one by one.
      {"a\x80z", "a\xEF\xBF\xBDz"},
      {"cut\xE2\x80", "cut\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"\xFF\"", "\xEF\xBF\xBD\\\""},
  };
  for (const Case& c : cases) EXPECT_EQ(PrometheusLabelValue(c.in), c.out) << c.in;
}

RouteResult Route(std::string name, std::string address, int port, int score, bool failed, double seconds,
                  RouteOutcome outcome) {
  RouteResult r;
  r.name = std::move(name);
  r.address = std::move(address);
  r.port = port;
  r.entry = r.name + "=" + r.address + ":" + std::to_string(port);
  r.score = score;
  r.failed = failed;
  r.profile_seconds = seconds;
  r.outcome = outcome;
  return r;
}

ConsoleOutcome Finished(std::int32_t result, std::vector<RouteResult> routes, bool key) {
  ConsoleOutcome out;
  out.run.finished = true;
  out.run.result_code = result;
  out.run.routes = std::move(routes);
  out.run.key.outcome = key ? KeyOutcome::Received : KeyOutcome::Failed;
  out.run.elapsed_seconds = 3.25;
  return out;
}

// 2026-12-08 05:00:00.250 UTC.
const auto kNow = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796706000250LL));

struct Document {
  const char* name;
  ConsoleOutcome outcome;
  std::vector<std::string> lines;  // samples the document holds, in order
};

void PrintTo(const Document& d, std::ostream* os) { *os << d.name; }

class PrometheusDocumentTest : public ::testing::TestWithParam<Document> {};

TEST_P(PrometheusDocumentTest, HoldsTheRunsNumbersAndPassesPromtool) {
  const Document& d = GetParam();
  const std::string text = PrometheusReport(d.outcome, kNow);
  std::size_t at = 0;
  for (const std::string& line : d.lines) {
    const auto found = text.find("\n" + line + "\n", at == 0 ? 0 : at - 1);
    ASSERT_NE(found, std::string::npos) << line << "\n" << text;
    at = found + line.size() + 1;
  }
  // Every family is introduced, and no sample lacks its family.
  for (const char* family : {"zelvan_probe_up", "zelvan_probe_result", "zelvan_probe_key_ok",
                             "zelvan_probe_duration_seconds", "zelvan_probe_last_run_timestamp_seconds",
                             "zelvan_probe_stopped"}) {
    EXPECT_THAT(text, HasSubstr(std::string("# TYPE ") + family + " gauge\n"));
    EXPECT_THAT(text, HasSubstr(std::string("# HELP ") + family + " "));
  }
  const auto file = std::filesystem::temp_directory_path() /
                    ("zp-prom-" + std::to_string(CurrentProcessId()) + "-" + d.name + ".prom");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(PathUtf8(file), text, error)) << error;
  const PromtoolVerdict verdict = PromtoolCheck(file);
  std::filesystem::remove(file);
  EXPECT_EQ(verdict.status, 0) << verdict.output << "\n" << text;
}

ConsoleOutcome StoppedWhileProfiling() {
  ConsoleOutcome out = Finished(kResultSomeRoutesFailed,
                                {Route("r1", "10.0.0.1", 7000, 0, false, 0.0415, RouteOutcome::Scored),
                                 Route("r2", "10.0.0.2", 7000, 25, false, 0, RouteOutcome::NotTried)},
                                false);
  out.run.key.outcome = KeyOutcome::NotReached;
  out.run.stopped = true;
  out.run.elapsed_seconds = 4.0004;
  return out;
}

ConsoleOutcome HostileNames() {
  // Names as a route server may send them, and the same entry listed twice. Shown on a
  // dashboard, their control characters and bytes that are not UTF-8 read as "\xNN", as
  // on a terminal.
  return Finished(kResultSuccess,
                  {Route("r\"1\\\n", "10.0.0.1", 7000, 0, false, 0.5, RouteOutcome::Scored),
                   Route("r\"1\\\n", "10.0.0.1", 7000, 0, false, 0.5, RouteOutcome::Scored),
                   Route("noaddress", "", 0, 25, true, 0, RouteOutcome::ConnectFailed),
                   Route("bad\xFF", "10.0.0.3", 7000, 300, true, 1, RouteOutcome::Scored)},
                  true);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, PrometheusDocumentTest,
    ::testing::Values(
        Document{"Healthy",
                 Finished(kResultSuccess,
                          {Route("r1", "127.0.0.1", 40001, 0, false, 0.0123, RouteOutcome::Scored),
                           Route("r2", "127.0.0.1", 40002, 0, false, 1.5, RouteOutcome::Scored)},
                          true),
                 {"zelvan_probe_up 1", "zelvan_probe_result{banner=\"SUCCESS\"} 0",
                  "zelvan_probe_route_score{route=\"r1\",address=\"127.0.0.1:40001\"} 0",
                  "zelvan_probe_route_score{route=\"r2\",address=\"127.0.0.1:40002\"} 0",
                  "zelvan_probe_route_failed{route=\"r1\",address=\"127.0.0.1:40001\"} 0",
                  "zelvan_probe_route_failed{route=\"r2\",address=\"127.0.0.1:40002\"} 0",
                  "zelvan_probe_route_profile_seconds{route=\"r1\",address=\"127.0.0.1:40001\"} 0.012",
                  "zelvan_probe_route_profile_seconds{route=\"r2\",address=\"127.0.0.1:40002\"} 1.500",
                  "zelvan_probe_key_ok 1", "zelvan_probe_duration_seconds 3.250",
                  "zelvan_probe_last_run_timestamp_seconds 1796706000.250", "zelvan_probe_stopped 0"}},
        Document{"ARouteFailed",
                 Finished(kResultSomeRoutesFailed,
                          {Route("r1", "127.0.0.1", 40001, 0, false, 0.01, RouteOutcome::Scored),
                           Route("r2", "127.0.0.1", 40002, 25, true, 0.002, RouteOutcome::ConnectFailed)},
                          true),
                 {"zelvan_probe_up 1", "zelvan_probe_result{banner=\"SOME ROUTES FAILED\"} 1",
                  "zelvan_probe_route_score{route=\"r2\",address=\"127.0.0.1:40002\"} 25",
                  "zelvan_probe_route_failed{route=\"r1\",address=\"127.0.0.1:40001\"} 0",
                  "zelvan_probe_route_failed{route=\"r2\",address=\"127.0.0.1:40002\"} 1", "zelvan_probe_key_ok 1",
                  "zelvan_probe_stopped 0"}},
        Document{"NoRouteList",
                 Finished(kResultFailure, {}, false),
                 {"zelvan_probe_up 1", "zelvan_probe_result{banner=\"FAILURE\"} 2", "zelvan_probe_key_ok 0",
                  "zelvan_probe_stopped 0"}},
        // Stopped: up 0, the result 3 whatever code the run had reached, and the route it
        // never reached still listed, as not scored and without a score; each outcome as
        // its code.
        Document{"StoppedWhileProfiling",
                 StoppedWhileProfiling(),
                 {"zelvan_probe_up 0", "zelvan_probe_result{banner=\"STOPPED\"} 3",
                  "zelvan_probe_route_score{route=\"r1\",address=\"10.0.0.1:7000\"} 0",
                  "zelvan_probe_route_scored{route=\"r1\",address=\"10.0.0.1:7000\"} 1",
                  "zelvan_probe_route_scored{route=\"r2\",address=\"10.0.0.2:7000\"} 0",
                  "zelvan_probe_route_failed{route=\"r2\",address=\"10.0.0.2:7000\"} 0",
                  "zelvan_probe_route_profile_seconds{route=\"r1\",address=\"10.0.0.1:7000\"} 0.042",
                  "zelvan_probe_route_outcome{route=\"r1\",address=\"10.0.0.1:7000\",outcome=\"all_arrived\"} 1",
                  "zelvan_probe_route_outcome{route=\"r2\",address=\"10.0.0.2:7000\",outcome=\"not_tried_stopped\"} 1",
                  "zelvan_probe_key_ok 0", "zelvan_probe_key_outcome{outcome=\"not_reached_stopped\"} 1",
                  "zelvan_probe_run_outcome{outcome=\"run_stopped\"} 1", "zelvan_probe_duration_seconds 4.000",
                  "zelvan_probe_stopped 1"}},
        Document{"HostileRouteNamesAndADuplicate",
                 HostileNames(),
                 {"zelvan_probe_route_score{route=\"r\\\"1\\\\\\\\x0A\",address=\"10.0.0.1:7000\"} 0",
                  "zelvan_probe_route_score{route=\"noaddress\",address=\"\"} 25",
                  "zelvan_probe_route_score{route=\"bad\\\\xFF\",address=\"10.0.0.3:7000\"} 300",
                  "zelvan_probe_route_failed{route=\"r\\\"1\\\\\\\\x0A\",address=\"10.0.0.1:7000\"} 0"}}),
    [](const ::testing::TestParamInfo<Document>& d) { return std::string(d.param.name); });

// An outcome label holds a code of the table and nothing else: a value outside the table
// writes no sample at all, whatever the labels around it.
TEST(PrometheusReportTest, AnOutcomeOutsideTheTableCannotBeWritten) {
  std::string out = "before\n";
  EXPECT_TRUE(WriteOutcomeSample(out, "zelvan_probe_route_outcome", "route=\"r1\"", "site=\"b\"", OutcomeKind::RouteRefused));
  EXPECT_EQ(out, "before\nzelvan_probe_route_outcome{route=\"r1\",outcome=\"refused\",site=\"b\"} 1\n");
  for (const int outside : {-1, static_cast<int>(NextStepTable().size()), 1000}) {
    EXPECT_FALSE(WriteOutcomeSample(out, "zelvan_probe_run_outcome", "", "", static_cast<OutcomeKind>(outside)));
  }
  EXPECT_EQ(out, "before\nzelvan_probe_route_outcome{route=\"r1\",outcome=\"refused\",site=\"b\"} 1\n");
}

TEST(PrometheusReportTest, ListsARouteListedTwiceOnce) {
  const std::string text = PrometheusReport(HostileNames(), kNow);
  std::size_t count = 0;
  for (auto at = text.find("zelvan_probe_route_score{route=\"r\\\""); at != std::string::npos;
       at = text.find("zelvan_probe_route_score{route=\"r\\\"", at + 1))
    ++count;
  EXPECT_EQ(count, 1u) << text;
}

TEST(MetricLabelsTest, TakesPrometheusLabelNamesOnceAndRefusesTheProbesOwn) {
  struct Case {
    std::vector<std::string> texts;
    std::string error;  // a part of the error; empty when accepted
    MetricLabels labels;
  };
  const std::vector<Case> cases = {
      {{}, "", {}},
      {{"site=berlin", "_x9=a=b", "Region=\"q\"\\\n"}, "", {{"site", "berlin"}, {"_x9", "a=b"}, {"Region", "\"q\"\\\n"}}},
      // Empty is what Prometheus makes of a missing label: nothing is written.
      {{"site=", "zone=z"}, "", {{"zone", "z"}}},
      {{"site"}, "expected NAME=VALUE", {}},
      {{"=x"}, "not a label name", {}},
      {{"9site=x"}, "not a label name", {}},
      {{"si-te=x"}, "not a label name", {}},
      {{"sit\xC3\xA9=x"}, "not a label name", {}},
      {{"__name__=x"}, "Prometheus' own", {}},
      // What a histogram or a summary owns, and what promtool's lint rejects.
      {{"le=0.5"}, "histograms and summaries", {}},
      {{"quantile=0.9"}, "histograms and summaries", {}},
      {{"siteName=x"}, "is not snake_case (\"eN\")", {}},
      {{"SiteName=x"}, "is not snake_case (\"eN\")", {}},
      {{"Site_NAME=x", "x1Y=y", "Le=z"}, "", {{"Site_NAME", "x"}, {"x1Y", "y"}, {"Le", "z"}}},
      {{"route=x"}, "the probe writes itself", {}},
      {{"address=x"}, "the probe writes itself", {}},
      {{"banner=x"}, "the probe writes itself", {}},
      {{"site=a", "site=b"}, "more than once", {}},
      {{"site=", "site=b"}, "more than once", {}},
  };
  for (const Case& c : cases) {
    MetricLabels labels;
    const std::string error = ParseMetricLabels(c.texts, labels);
    if (c.error.empty()) {
      EXPECT_EQ(error, "") << ::testing::PrintToString(c.texts);
      EXPECT_EQ(labels, c.labels) << ::testing::PrintToString(c.texts);
    } else {
      EXPECT_THAT(error, HasSubstr(c.error)) << ::testing::PrintToString(c.texts);
    }
  }
}

TEST(PrometheusReportTest, PutsTheOperatorsLabelsOnEverySampleAndPassesPromtool) {
  const MetricLabels labels = {{"site", "Nord \"7\" \\ Halle\nB\xFF"}, {"region", "eu"}};
  const std::string escaped = "site=\"Nord \\\"7\\\" \\\\ Halle\\nB\xEF\xBF\xBD\",region=\"eu\"";
  const std::string text = PrometheusReport(StoppedWhileProfiling(), kNow, labels);
  std::size_t samples = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    ++samples;
    const bool own = line.find("{route=") != std::string::npos || line.find("{banner=") != std::string::npos ||
                     line.find("{outcome=") != std::string::npos;
    EXPECT_THAT(line, HasSubstr((own ? "\"," : "{") + escaped + "} ")) << line;
  }
  // No score for the route the stop left unscored; each route's outcome, the key's, the run's.
  EXPECT_EQ(samples, 17u) << text;
  const auto file =
      std::filesystem::temp_directory_path() / ("zp-prom-" + std::to_string(CurrentProcessId()) + "-labels.prom");
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(PathUtf8(file), text, error)) << error;
  const PromtoolVerdict verdict = PromtoolCheck(file);
  std::filesystem::remove(file);
  EXPECT_EQ(verdict.status, 0) << verdict.output << "\n" << text;
}

}  // namespace
}  // namespace zp::test
