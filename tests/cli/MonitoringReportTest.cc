// What a label and a text from the network become on a monitoring line, byte by byte.
#include "cli/MonitoringReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "run/RunConstants.h"

namespace zp::test {
namespace {

using ::testing::HasSubstr;

// The plugins' thresholds in every route's perfdata, and --warning N turning a SUCCESS in
// which a route that passed scored N or more into WARNING, naming it; a failed route or
// one without a score never counts for it.
TEST(MonitoringReportTest, AWarningScoreWarnsFromItsScoreOnAndRidesInThePerfdata) {
  ConsoleOutcome out;
  out.run.finished = true;
  out.run.result_code = kResultSuccess;
  out.run.key.outcome = KeyOutcome::Received;
  const auto route = [](const char* name, int score, RouteOutcome outcome) {
    RouteResult r;
    r.name = name;
    r.entry = std::string(name) + "=10.0.0.1:7000";
    r.score = score;
    r.outcome = outcome;
    return r;
  };
  out.run.routes = {route("r1", 0, RouteOutcome::Scored), route("r2", 5, RouteOutcome::Scored),
                    route("r3", 25, RouteOutcome::NotTried)};
  const struct {
    int warning, status;
    const char* perfdata;  // r1's
    const char* summary;   // the status line holds it; empty: says nothing of a warning
  } cases[] = {
      {0, 0, "'r1'=0;;24;0;25 ", ""},
      {6, 0, "'r1'=0;5;24;0;25 ", ""},
      {5, 1, "'r1'=0;4;24;0;25 ", ", score 5 or more: r2 |"},
      {1, 1, "'r1'=0;0;24;0;25 ", ", score 1 or more: r2 |"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.warning);
    EXPECT_EQ(MonitoringStatus(out, c.warning), c.status);
    const std::string report = MonitoringReport(out, c.warning);
    EXPECT_THAT(report, HasSubstr(c.perfdata));
    EXPECT_THAT(report, HasSubstr("'r3'=U;"));
    EXPECT_EQ(report.rfind(c.status == 0 ? "ZELVAN PROBE OK - " : "ZELVAN PROBE WARNING - ", 0), 0u) << report;
    if (*c.summary != '\0') {
      EXPECT_THAT(report, HasSubstr(c.summary));
    } else {
      EXPECT_EQ(report.find("or more:"), std::string::npos) << report;
    }
  }
}

TEST(MonitoringTextTest, EscapesWhatWouldBreakALineOrItsPerfdata) {
  const struct {
    std::string in, text, label;
  } cases[] = {
      {"r1", "r1", "'r1'"},
      {"a|b", "a\\x7Cb", "'a\\x7Cb'"},
      {"it's", "it's", "'it''s'"},
      {"a=b", "a=b", "'a\\x3Db'"},
      {"tab\there", "tab\\x09here", "'tab\\x09here'"},
      {"csi\x9B", "csi\\x9B", "'csi\\x9B'"},                // a C1 byte on its own is no UTF-8
      {"c1\xC2\x9B", "c1\\xC2\\x9B", "'c1\\xC2\\x9B'"},       // the C1 control in UTF-8
      {"del\x7F ff\xFF", "del\\x7F ff\\xFF", "'del\\x7F ff\\xFF'"},
      {"two\nlines\r", "two\\x0Alines\\x0D", "'two\\x0Alines\\x0D'"},
      {"caf\xC3\xA9 \xE2\x80\x94", "caf\xC3\xA9 \xE2\x80\x94", "'caf\xC3\xA9 \xE2\x80\x94'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MonitoringText(c.in), c.text) << c.in;
    EXPECT_EQ(PerfdataLabel(c.in), c.label) << c.in;
  }
}

}  // namespace
}  // namespace zp::test
