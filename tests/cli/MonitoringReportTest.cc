// The monitoring lines on plain values: what a label and a text from the network become,
// and the lines of a stopped run and of one the history could not take.
#include "cli/MonitoringReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace zp::test {
namespace {

using ::testing::HasSubstr;

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

ConsoleOutcome Ended(bool stopped, const std::string& stopped_by, const std::string& record_error) {
  ConsoleOutcome out;
  out.run.finished = true;
  out.run.stopped = stopped;
  out.run.elapsed_seconds = 1.234;
  out.run.result_code = 1;
  RouteResult r;
  r.name = "r|1";
  r.entry = "r|1=127.0.0.1:7000";
  r.outcome = RouteOutcome::LoginRefused;
  r.detail = "no | way";
  r.score = 25;
  r.failed = true;
  out.run.routes.push_back(r);
  out.stopped_by = stopped_by;
  out.end_state = "UpdateRoutes";
  out.stopped_phase = RunPhase::ProfilingRoutes;
  out.stopped_route = 1;
  out.stopped_route_count = 1;
  out.ended.emplace();
  out.ended->record_error = record_error;
  return out;
}

TEST(MonitoringReportTest, SaysWhatStoppedTheRunAndWhenItWasNotRecorded) {
  EXPECT_EQ(MonitoringReport(Ended(true, "SIGTERM", "")),
            "ZELVAN PROBE UNKNOWN - stopped by SIGTERM after 1.23 s while profiling route 1 of 1, in state "
            "UpdateRoutes | 'r\\x7C1'=25;;;0;25 elapsed=1.23s\n"
            "r\\x7C1=127.0.0.1:7000 score 25: login refused: no \\x7C way\n");
  EXPECT_THAT(MonitoringReport(Ended(true, kByTimeOut, "")),
              ::testing::StartsWith("ZELVAN PROBE UNKNOWN - timed out after 1.23 s while profiling route 1 of 1"));
  EXPECT_THAT(MonitoringReport(Ended(false, "", "cannot write to h|db: database is locked")),
              ::testing::EndsWith("\nnot recorded in the history: cannot write to h\\x7Cdb: database is locked\n"));
}

}  // namespace
}  // namespace zp::test
