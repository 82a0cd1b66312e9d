// zelvan-probe-cli end to end, the way scripts run it: against the zelvan-gateway-sim
// program on loopback, at real time, checking exit status and what each stream holds.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Program.h"

namespace zp::test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::vector<std::string> Plus(std::vector<std::string> args, const std::string& more) {
  args.push_back(more);
  return args;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// "ExpressT", a tab, the local time as "ddd mm/dd hh:nn:ss", a tab and the text.
bool IsTraceLine(const std::string& line) {
  static const std::regex form("ExpressT\t(Sun|Mon|Tue|Wed|Thu|Fri|Sat) \\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\t.*");
  return std::regex_match(line, form);
}

class ConsoleRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / ("zp-cli-" + std::to_string(getpid()) + "-" + info->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (sim_) {
      sim_->Stop();
      sim_->Finish(5);
    }
    std::filesystem::remove_all(dir_);
  }

  // Starts the simulator with one route server on an ephemeral port and `routes`;
  // returns the route entries it serves. The server's port is PortHex().
  std::vector<std::string> StartSim(const std::vector<std::string>& routes, const std::string& server_options = "") {
    std::vector<std::string> args = {ZP_SIM_PROGRAM, "--route-server", "127.0.0.1:0 " + server_options};
    for (const auto& r : routes) {
      args.push_back("--route");
      args.push_back(r);
    }
    sim_ = std::make_unique<Program>(args);
    const std::string ready = sim_->Line();
    EXPECT_THAT(ready, StartsWith("READY route-server=127.0.0.1:"));
    const auto colon = ready.find(':');
    port_ = std::stoi(ready.substr(colon + 1));
    std::vector<std::string> entries;
    const auto at = ready.find(" routes=");
    if (at != std::string::npos) {
      std::istringstream list(ready.substr(at + 8));
      for (std::string e; std::getline(list, e, ',');) entries.push_back(e);
    }
    return entries;
  }
  std::string PortHex() const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(port_));
    return buf;
  }
  // Runs the console runner against the simulator with `extra` options.
  int RunCli(Program*& cli, const std::vector<std::string>& extra, double seconds = 9) {
    std::vector<std::string> args = {ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", PortHex(),
                                     "--dns-store", (dir_ / "registry.db").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    runs_.push_back(std::make_unique<Program>(args));
    cli = runs_.back().get();
    return cli->Finish(seconds);
  }

  std::filesystem::path dir_;
  std::unique_ptr<Program> sim_;
  std::vector<std::unique_ptr<Program>> runs_;
  int port_ = 0;
};

// One route's line in every form.
struct RouteExpect {
  int score;
  bool failed;
  std::string outcome;  // as JSON names it
  std::string detail = "";  // the failure's own text
};

// One way a test can go, checked in the plain, JSON and monitoring forms against the same
// simulator.
struct Scenario {
  const char* name;
  std::vector<std::string> routes;  // the simulator's --route values
  std::string server_options;       // the route server's fault
  std::vector<std::string> extra;   // further console options
  int status;
  int result_code;
  std::string banner;  // as the plain form spaces it; JSON has it unspaced
  std::vector<RouteExpect> expect;
  std::string end_state = "Halted";
  std::string timed_out;      // the plain form's line on standard error, or empty when not stopped
  std::string monitoring;     // the first line, as a regular expression
  std::string trace_holds;    // a text the trace must hold
};

void PrintTo(const Scenario& scenario, std::ostream* os) { *os << scenario.name; }

std::string Unspaced(const std::string& banner) {
  std::string word;
  for (std::size_t i = 0; i < banner.size(); i += 2) word += banner[i];
  return word;
}

std::string ScoreLine(int score, const std::string& entry) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%6d\t%s", score, entry.c_str());
  return buf;
}

class ConsoleRunnerScenario : public ConsoleRunnerTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(ConsoleRunnerScenario, PlainJsonAndMonitoringFormsReportTheRun) {
  const Scenario& sc = GetParam();
  const auto entries = StartSim(sc.routes, sc.server_options);
  ASSERT_GE(entries.size(), sc.expect.size());
  const bool stopped = !sc.timed_out.empty();
  Program* cli = nullptr;

  // Plain: trace lines from the worker's first line to its shutdown, then the banner, the
  // heading and one line per route; only a time-out writes to standard error.
  ASSERT_EQ(RunCli(cli, sc.extra), sc.status) << cli->out << cli->err;
  const auto lines = Lines(cli->out);
  const auto first_other =
      std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return !IsTraceLine(l); });
  ASSERT_NE(first_other, lines.end()) << cli->out;
  EXPECT_GT(first_other - lines.begin(), 10);
  std::vector<std::string> expected = {sc.banner, "Score\tRoute"};
  for (std::size_t i = 0; i < sc.expect.size(); ++i) expected.push_back(ScoreLine(sc.expect[i].score, entries[i]));
  EXPECT_THAT(std::vector<std::string>(first_other, lines.end()), ElementsAreArray(expected)) << cli->out;
  EXPECT_THAT(lines[0], HasSubstr("\t127.0.0.1:"));
  EXPECT_THAT(lines[0], HasSubstr(" RouteCode(A) Sig(0 Bytes)"));
  // A stopped worker is not abandoned: its shutdown is traced before the report.
  EXPECT_THAT(*(first_other - 1), EndsWith("\tShutdown"));
  if (!sc.trace_holds.empty()) {
    EXPECT_THAT(cli->out, HasSubstr(sc.trace_holds));
  }
  EXPECT_EQ(cli->err, stopped ? sc.timed_out + "\n" : "");

  // JSON: one document on standard output, the trace (and a time-out's line) on error.
  ASSERT_EQ(RunCli(cli, Plus(sc.extra, "--json")), sc.status) << cli->err;
  nlohmann::json doc;
  ASSERT_NO_THROW(doc = nlohmann::json::parse(cli->out)) << cli->out;
  EXPECT_EQ(doc["result_code"], sc.result_code);
  EXPECT_EQ(doc["banner"], Unspaced(sc.banner));
  EXPECT_EQ(doc["server"], "127.0.0.1");
  EXPECT_EQ(doc["port"], port_);
  EXPECT_EQ(doc["route_code"], "A");
  EXPECT_EQ(doc["end_state"], sc.end_state);
  EXPECT_EQ(doc["timed_out"], stopped);
  EXPECT_EQ(doc["stopped"], stopped);
  EXPECT_TRUE(std::regex_match(doc["start_time"].get<std::string>(), std::regex(R"(\d\d/\d\d \d\d:\d\d:\d\d)")))
      << doc["start_time"];
  const double elapsed = doc["elapsed_seconds"].get<double>();
  EXPECT_GT(elapsed, 0.0);
  // A stop ends the test within a second of the deadline.
  if (stopped) {
    EXPECT_GE(elapsed, std::stod(sc.extra.back()));
    EXPECT_LT(elapsed, std::stod(sc.extra.back()) + 1.5);
  }
  ASSERT_EQ(doc["routes"].size(), sc.expect.size()) << cli->out;
  for (std::size_t i = 0; i < sc.expect.size(); ++i) {
    const auto& route = doc["routes"][i];
    EXPECT_EQ(route["route"], entries[i]);
    EXPECT_EQ(route["score"], sc.expect[i].score) << entries[i];
    EXPECT_EQ(route["failed"], sc.expect[i].failed) << entries[i];
    EXPECT_EQ(route["outcome"], sc.expect[i].outcome) << entries[i];
    EXPECT_EQ(route["detail"], sc.expect[i].detail) << entries[i];
  }
  auto trace = Lines(cli->err);
  if (stopped) {
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(trace.back(), sc.timed_out);
    trace.pop_back();
  }
  ASSERT_GT(trace.size(), 10u);
  for (const auto& l : trace) EXPECT_TRUE(IsTraceLine(l)) << l;

  // Monitoring: a status line with perfdata, then one line per route; no trace at all.
  ASSERT_EQ(RunCli(cli, Plus(sc.extra, "--monitoring")), sc.status) << cli->out << cli->err;
  const auto report = Lines(cli->out);
  ASSERT_EQ(report.size(), 1 + sc.expect.size()) << cli->out;
  EXPECT_TRUE(std::regex_match(report[0], std::regex(sc.monitoring))) << report[0];
  for (std::size_t i = 0; i < sc.expect.size(); ++i) {
    EXPECT_EQ(report[1 + i], entries[i] + " score " + std::to_string(sc.expect[i].score) +
                                 (sc.expect[i].failed ? " (failed)" : ""));
  }
  EXPECT_EQ(cli->err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Results, ConsoleRunnerScenario,
    ::testing::Values(
        Scenario{.name = "HealthyIsSuccessWithStatus0",
                 .routes = {"r1"},
                 .status = 0,
                 .result_code = 1,
                 .banner = "S U C C E S S",
                 .expect = {{0, false, "scored"}},
                 .monitoring = R"(ZELVAN PROBE OK - SUCCESS, 0 of 1 routes failed \| 'r1'=0;;;0;25 )"
                               R"(elapsed=\d+\.\d\ds)"},
        Scenario{.name = "ARefusedRouteIsSomeRoutesFailedWithStatus1",
                 .routes = {"r1", "r2 fault=refused"},
                 .status = 1,
                 .result_code = 2,
                 .banner = "S O M E   R O U T E S   F A I L E D",
                 .expect = {{0, false, "scored"},
                            {25, true, "connect_failed", "WSAECONNREFUSED: the connection was refused"}},
                 .monitoring = R"(ZELVAN PROBE WARNING - SOME ROUTES FAILED, 1 of 2 routes failed \| )"
                               R"('r1'=0;;;0;25 'r2'=25;;;0;25 elapsed=\d+\.\d\ds)"},
        Scenario{.name = "ARefusedLoginIsFailureWithStatus2",
                 .routes = {"r1 fault=login-refused status=17 text='Access denied'"},
                 .status = 2,
                 .result_code = 0,
                 .banner = "F A I L U R E",
                 .expect = {{25, true, "login_refused", "Access denied"}},
                 .monitoring = R"(ZELVAN PROBE CRITICAL - FAILURE, 1 of 1 routes failed \| 'r1'=25;;;0;25 )"
                               R"(elapsed=\d+\.\d\ds)",
                 .trace_holds = "\tAccess denied\n"},
        // The time-out stops the run while the route server keeps it waiting: no routes,
        // exit status 3, and the state it was stopped in named.
        Scenario{.name = "ATimeOutBeforeAnyRouteIsStoppedWithStatus3",
                 .routes = {"r1"},
                 .server_options = "fault=silent",
                 .extra = {"--timeout", "0.5"},
                 .status = 3,
                 .result_code = 0,
                 .banner = "F A I L U R E",
                 .expect = {},
                 .end_state = "UpdateRoutes",
                 .timed_out = "Timed out after 0.5 s in state UpdateRoutes",
                 .monitoring = R"(ZELVAN PROBE UNKNOWN - timed out after \d+\.\d\d s in state UpdateRoutes )"
                               R"(\| elapsed=\d+\.\d\ds)"},
        // The time-out comes while the second route keeps the login waiting: the first
        // route's score is kept; the one cut short was not tried, so it is not counted
        // as failed, although the result still says some routes failed.
        Scenario{.name = "ATimeOutWhileProfilingKeepsTheScoresWithStatus3",
                 .routes = {"r1", "r2 fault=silent"},
                 .extra = {"--timeout", "4"},
                 .status = 3,
                 .result_code = 2,
                 .banner = "S O M E   R O U T E S   F A I L E D",
                 .expect = {{0, false, "scored"}, {25, false, "not_tried"}},
                 .end_state = "UpdateRoutes",
                 .timed_out = "Timed out after 4 s in state UpdateRoutes",
                 .monitoring = R"(ZELVAN PROBE UNKNOWN - timed out after \d+\.\d\d s in state UpdateRoutes )"
                               R"(\| 'r1'=0;;;0;25 'r2'=25;;;0;25 elapsed=\d+\.\d\ds)"}),
    [](const ::testing::TestParamInfo<Scenario>& scenario) { return std::string(scenario.param.name); });

TEST_F(ConsoleRunnerTest, BadUsageExitsWithStatus3) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--selection", "5"}, {"--no-such-option"}, {"--json", "--monitoring"},
        {"--timeout", "-1"}, {"unexpected"}}) {
    std::vector<std::string> argv = {ZP_CLI_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    Program cli(argv);
    EXPECT_EQ(cli.Finish(5), 3) << args[0];
    EXPECT_EQ(cli.out.find("ExpressT"), std::string::npos);
    EXPECT_NE(cli.err, "") << args[0];
  }
}

}  // namespace
}  // namespace zp::test
