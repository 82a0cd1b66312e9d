// zelvan-probe-cli end to end, the way scripts run it: against the zelvan-gateway-sim
// program on loopback, at real time, checking exit status and what each stream holds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "run/NextSteps.h"
#include "run/RunWords.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "cli/MetricsFile.h"
#include "support/ProcessRunner.h"
#include "support/TestSockets.h"

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

// "ExpressT", a tab, the local time as "ddd mm/dd hh:nn:ss", a tab and the text.
bool IsTraceLine(const std::string& line) {
  static const std::regex form("ExpressT\t(Sun|Mon|Tue|Wed|Thu|Fri|Sat) \\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\t.*");
  return std::regex_match(line, form);
}

class ConsoleRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / ("zp-cli-" + std::to_string(CurrentProcessId()) + "-" + info->name());
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
    // Without a history, so that no earlier run adds a change column.
    std::vector<std::string> args = {ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", PortHex(),
                                     "--dns-store", (dir_ / "registry.db").string(), "--no-history"};
    args.insert(args.end(), extra.begin(), extra.end());
    runs_.push_back(std::make_unique<Program>(args));
    cli = runs_.back().get();
    return cli->Finish(seconds);
  }

  // The document passes the shipped schema, checked by a real validator where the build
  // names one (none for Windows: the schema does not depend on the system).
  void ExpectValidDocument(const std::string& document) {
    if (std::string(ZP_TEST_PYTHON).empty()) return;
    const auto path = dir_ / ("doc-" + std::to_string(documents_++) + ".json");
    std::FILE* f = std::fopen(path.string().c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(document.c_str(), f);
    std::fclose(f);
    Program validator({ZP_TEST_PYTHON, "-c",
                       "import json, sys, jsonschema\n"
                       "schema = json.load(open(sys.argv[2]))\n"
                       "jsonschema.Draft202012Validator.check_schema(schema)\n"
                       "jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[1])))\n",
                       path.string(), ZP_JSON_SCHEMA});
    EXPECT_EQ(validator.Finish(20), 0) << validator.err << document;
  }

  std::filesystem::path dir_;
  int documents_ = 0;
  std::unique_ptr<Program> sim_;
  std::vector<std::unique_ptr<Program>> runs_;
  int port_ = 0;
};

// One route's line in every form.
struct RouteExpect {
  int score;
  bool failed;
  std::string outcome;  // as JSON names it
  std::string reason;   // in words, as every form gives it
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
  std::string key_outcome;  // as JSON names it
  std::string key_reason;   // the start of its words
  std::string server_reason;  // when there are no routes
  std::string end_state = "Halted";
  std::string phase = "finished";
  std::string timed_out;      // the plain form's line on standard error, or empty when not stopped
  std::string monitoring;     // the first line, as a regular expression
  std::string trace_holds;    // a text the trace must hold
  double within = 0;          // when above 0: the run ends before this many seconds
  int monitoring_status = -1;  // with --monitoring, when it differs from `status`
  std::string note;            // beside the banner, when the run calls for one (its start)
};

void PrintTo(const Scenario& scenario, std::ostream* os) { *os << scenario.name; }

std::string Unspaced(const std::string& banner) {
  std::string word;
  for (std::size_t i = 0; i < banner.size(); i += 2) word += banner[i];
  return word;
}

bool Unscored(const RouteExpect& route) { return route.outcome == "stopped" || route.outcome == "not_tried"; }

// A route's results line, without a history to tell a change against; one the test never
// scored shows a dash for its score and says so.
std::string ScoreLine(const RouteExpect& route, const std::string& entry) {
  char buf[256];
  if (Unscored(route))
    std::snprintf(buf, sizeof buf, "     \u2014\t%s\t\u2014\tnot scored \u2014 %s", entry.c_str(), route.reason.c_str());
  else
    std::snprintf(buf, sizeof buf, "%6d\t%s\t\u2014\t%s", route.score, entry.c_str(), route.reason.c_str());
  return buf;
}

class ConsoleRunnerScenario : public ConsoleRunnerTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(ConsoleRunnerScenario, PlainJsonAndMonitoringFormsReportTheRun) {
  const Scenario& sc = GetParam();
  const auto entries = StartSim(sc.routes, sc.server_options);
  ASSERT_GE(entries.size(), sc.expect.size());
  const bool stopped = !sc.timed_out.empty();
  Program* cli = nullptr;

  // Plain: trace lines from the worker's first line to its shutdown, then the results
  // lines as the windows show them: the banner, the heading, one line per route with its
  // reason, the key's outcome and the legend; only a time-out writes to standard error.
  ASSERT_EQ(RunCli(cli, sc.extra), sc.status) << cli->out << cli->err;
  const auto lines = Lines(cli->out);
  const auto first_other =
      std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return !IsTraceLine(l); });
  ASSERT_NE(first_other, lines.end()) << cli->out;
  EXPECT_GT(first_other - lines.begin(), 10);
  std::vector<std::string> expected = {stopped ? "S T O P P E D" : sc.banner};
  if (!sc.expect.empty()) expected.push_back("Score\tRoute\tChange\tOutcome");
  for (std::size_t i = 0; i < sc.expect.size(); ++i) expected.push_back(ScoreLine(sc.expect[i], entries[i]));
  std::vector<std::string> report(first_other, lines.end());
  // What the windows say beside the banner, right below it.
  if (!sc.note.empty()) {
    ASSERT_GE(report.size(), 2u);
    EXPECT_THAT(report[1], StartsWith(sc.note));
    report.erase(report.begin() + 1);
  }
  // What to check next, after the lines it speaks of: whenever something failed.
  const auto steps = std::find(report.begin(), report.end(), "What to check next:");
  const bool failed = sc.status != 0 || std::any_of(sc.expect.begin(), sc.expect.end(), [](const RouteExpect& e) { return e.failed; });
  EXPECT_EQ(steps != report.end(), failed) << cli->out;
  if (steps != report.end()) {
    auto end = steps + 1;
    while (end != report.end() && end->rfind("    ", 0) == 0) ++end;
    EXPECT_GT(end - steps, 1);
    EXPECT_EQ(*(steps - 1), "");
    report.erase(steps - 1, end);
  }
  if (sc.expect.empty()) {
    // Without routes, what the route server did.
    expected.push_back("No route server gave a route. Route servers asked:");
    expected.push_back("    127.0.0.1:" + PortHex() + " \u2014 " + sc.server_reason);
  } else {
    ASSERT_GE(report.size(), 3u);
    EXPECT_EQ(report.back(), ScoreLegend(25));
    EXPECT_THAT(report[report.size() - 2], StartsWith("Public key: " + sc.key_reason));
    EXPECT_EQ(report[report.size() - 3], "");
    report.resize(report.size() - 3);
  }
  EXPECT_THAT(report, ElementsAreArray(expected)) << cli->out;
  EXPECT_THAT(lines[0], HasSubstr("\t127.0.0.1:"));
  EXPECT_THAT(lines[0], HasSubstr(" RouteCode(A) Sig(0 Bytes)"));
  // A stopped worker is not abandoned: its shutdown is traced before the report.
  EXPECT_THAT(*(first_other - 1), EndsWith("\tShutdown"));
  if (!sc.trace_holds.empty()) {
    EXPECT_THAT(cli->out, HasSubstr(sc.trace_holds));
  }
  EXPECT_EQ(cli->err, stopped ? sc.timed_out + "\n" : "");

  // JSON: one document on standard output that the schema accepts, the trace (and a
  // time-out's line) on error; beside it the Prometheus textfile with the same numbers.
  const auto textfile = dir_ / "zelvan-probe.prom";
  ASSERT_EQ(RunCli(cli, Plus(Plus(Plus(sc.extra, "--json"), "--prometheus-textfile"), textfile.string())), sc.status)
      << cli->err;
  ExpectValidDocument(cli->out);
  nlohmann::json doc;
  ASSERT_NO_THROW(doc = nlohmann::json::parse(cli->out)) << cli->out;
  ExpectMetricsMatchDocument(textfile, doc);
  std::filesystem::remove(textfile);
  EXPECT_EQ(doc["result_code"], sc.result_code);
  EXPECT_EQ(doc["banner"], stopped ? "STOPPED" : Unspaced(sc.banner));
  EXPECT_EQ(doc["exit_status"], sc.status);
  EXPECT_EQ(doc["server"], "127.0.0.1");
  EXPECT_EQ(doc["port"], port_);
  EXPECT_EQ(doc["route_code"], "A");
  EXPECT_EQ(doc["end_state"], sc.end_state);
  EXPECT_EQ(doc["phase"], sc.phase);
  EXPECT_EQ(doc["timed_out"], stopped);
  EXPECT_EQ(doc["stopped"], stopped);
  EXPECT_TRUE(std::regex_match(doc["start_time"].get<std::string>(),
                               std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
      << doc["start_time"];
  EXPECT_EQ(doc["key"]["outcome"], sc.key_outcome);
  EXPECT_THAT(doc["key"]["reason"].get<std::string>(), StartsWith(sc.key_reason));
  ASSERT_EQ(doc["servers"].size(), 1u) << cli->out;
  EXPECT_EQ(doc["servers"][0]["port"], port_);
  const double elapsed = doc["elapsed_seconds"].get<double>();
  EXPECT_GT(elapsed, 0.0);
  if (sc.within > 0) {
    EXPECT_LT(elapsed, sc.within);
  }
  // A stop ends the test within a second of the deadline.
  if (stopped) {
    EXPECT_GE(elapsed, std::stod(sc.extra.back()));
    EXPECT_LT(elapsed, std::stod(sc.extra.back()) + 1.5);
  }
  ASSERT_EQ(doc["routes"].size(), sc.expect.size()) << cli->out;
  for (std::size_t i = 0; i < sc.expect.size(); ++i) {
    const auto& route = doc["routes"][i];
    EXPECT_EQ(route["route"], entries[i]);
    EXPECT_EQ(route["name"].get<std::string>() + "=" + route["address"].get<std::string>() + ":" +
                  std::to_string(route["port"].get<int>()),
              entries[i]);
    if (Unscored(sc.expect[i]))
      EXPECT_TRUE(route["score"].is_null()) << entries[i];
    else
      EXPECT_EQ(route["score"], sc.expect[i].score) << entries[i];
    EXPECT_EQ(route["failed"], sc.expect[i].failed) << entries[i];
    EXPECT_EQ(route["outcome"], sc.expect[i].outcome) << entries[i];
    // The finer code says how a connect failed.
    if (sc.expect[i].detail == "WSAECONNREFUSED: the connection was refused") {
      EXPECT_EQ(route["outcome_code"], "refused") << entries[i];
    }
    EXPECT_EQ(route["reason"], sc.expect[i].reason) << entries[i];
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

  // Monitoring: a status line with perfdata, then for each failed route a line with its
  // reason and one with what to check next, as --json gives it; no trace at all.
  // The textfile beside it changes nothing on standard output.
  ASSERT_EQ(RunCli(cli, Plus(Plus(Plus(sc.extra, "--monitoring"), "--prometheus-textfile"), textfile.string())),
            sc.monitoring_status >= 0 ? sc.monitoring_status : sc.status)
      << cli->out << cli->err;
  ExpectMetricsMatchDocument(textfile, doc);
  const auto status = Lines(cli->out);
  std::vector<std::string> failed_lines;
  for (std::size_t i = 0; i < sc.expect.size(); ++i) {
    if (!sc.expect[i].failed) continue;
    failed_lines.push_back(entries[i] + " score " + std::to_string(sc.expect[i].score) + ": " + sc.expect[i].reason);
    failed_lines.push_back("  what to check next: " + doc["routes"][i]["next_step"].get<std::string>());
  }
  ASSERT_EQ(status.size(), 1 + failed_lines.size()) << cli->out;
  EXPECT_TRUE(std::regex_match(status[0], std::regex(sc.monitoring))) << status[0];
  EXPECT_THAT(std::vector<std::string>(status.begin() + 1, status.end()), ElementsAreArray(failed_lines));
  EXPECT_EQ(cli->err, "");
}

const RouteExpect kScored{0, false, "scored", "all 25 detail records arrived"};

INSTANTIATE_TEST_SUITE_P(
    Results, ConsoleRunnerScenario,
    ::testing::Values(
        Scenario{.name = "HealthyIsSuccessWithStatus0",
                 .routes = {"r1"},
                 .status = 0,
                 .result_code = 1,
                 .banner = "S U C C E S S",
                 .expect = {kScored},
                 .key_outcome = "received",
                 .key_reason = "received (",
                 .monitoring = R"(ZELVAN PROBE OK - SUCCESS, 0 of 1 routes failed \| 'r1'=0;;24;0;25 )"
                               R"(elapsed=\d+\.\d\ds)"},
        Scenario{.name = "ARefusedRouteIsSomeRoutesFailedWithStatus1",
                 .routes = {"r1", "r2 fault=refused"},
                 .status = 1,
                 .result_code = 2,
                 .banner = "S O M E   R O U T E S   F A I L E D",
                 .expect = {kScored,
                            {25, true, "connect_failed", "refused the connection",
                             "WSAECONNREFUSED: the connection was refused"}},
                 .key_outcome = "received",
                 .key_reason = "received (",
                 .monitoring = R"(ZELVAN PROBE WARNING - SOME ROUTES FAILED, 1 of 2 routes failed \| )"
                               R"('r1'=0;;24;0;25 'r2'=25;;24;0;25 elapsed=\d+\.\d\ds)"},
        Scenario{.name = "ARefusedLoginIsFailureWithStatus2",
                 .routes = {"r1 fault=login-refused status=17 text='Access denied'"},
                 .status = 2,
                 .result_code = 0,
                 .banner = "F A I L U R E",
                 .expect = {{25, true, "login_refused", "login refused: Access denied", "Access denied"}},
                 .key_outcome = "failed",
                 .key_reason = "not received: Access denied",
                 .monitoring = R"(ZELVAN PROBE CRITICAL - FAILURE, 1 of 1 routes failed.* \| 'r1'=25;;24;0;25 )"
                               R"(elapsed=\d+\.\d\ds)",
                 .trace_holds = "\tAccess denied\n",
                 .note = "Public key not received: Access denied"},
        // The result as the test computes it: a failed route makes "some routes failed"
        // only while other routes passed; when every route failed, the key alone decides.
        // Beside the banner a line says so, and a monitoring system hears a warning.
        Scenario{.name = "EveryRouteFailedButTheKeyArrivedIsSuccessWithStatus0",
                 .routes = {"r1 fault=no-heartbeat"},
                 .status = 0,
                 .result_code = 1,
                 .banner = "S U C C E S S",
                 .expect = {{25, true, "no_heartbeat", "no heartbeat within 5 s"}},
                 .key_outcome = "received",
                 .key_reason = "received (",
                 .monitoring = R"(ZELVAN PROBE WARNING - SUCCESS, 1 of 1 routes failed: every route failed its )"
                               R"(profile; the public key still arrived \| 'r1'=25;;24;0;25 elapsed=\d+\.\d\ds)",
                 .monitoring_status = 1,
                 .note = "every route failed its profile; the public key still arrived"},
        // Every route is scored but the key does not come: the routes are fine, the test
        // is not.
        Scenario{.name = "AKeyErrorIsFailureWithStatus2",
                 .routes = {"r1 fault=key-error"},
                 .status = 2,
                 .result_code = 0,
                 .banner = "F A I L U R E",
                 .expect = {kScored},
                 .key_outcome = "failed",
                 .key_reason = "not received",
                 .monitoring = R"(ZELVAN PROBE CRITICAL - FAILURE, 0 of 1 routes failed, public key not received.* )"
                               R"(\| 'r1'=0;;24;0;25 elapsed=\d+\.\d\ds)",
                 .note = "Public key not received"},
        // A dead gateway: every route refuses, so profiling fails them all and the key
        // ring gives up after three tries on each route. A result, in seconds: not a run
        // circling until its time-out.
        Scenario{.name = "EveryRouteRefusingIsFailureWithStatus2",
                 .routes = {"r1 fault=refused", "r2 fault=refused"},
                 .status = 2,
                 .result_code = 0,
                 .banner = "F A I L U R E",
                 .expect = {{25, true, "connect_failed", "refused the connection",
                             "WSAECONNREFUSED: the connection was refused"},
                            {25, true, "connect_failed", "refused the connection",
                             "WSAECONNREFUSED: the connection was refused"}},
                 .key_outcome = "failed",
                 .key_reason = "not received: Tried each route 3 times - the last, r2: WSAECONNREFUSED: the "
                               "connection was refused",
                 .monitoring = R"(ZELVAN PROBE CRITICAL - FAILURE, 2 of 2 routes failed, public key not received: )"
                               R"(Tried each route 3 times - the last, r2: WSAECONNREFUSED: the connection was )"
                               R"(refused \| 'r1'=25;;24;0;25 'r2'=25;;24;0;25 elapsed=\d+\.\d\ds)",
                 .within = 30,
                 .note = "Public key not received: Tried each route 3 times"},
        // The time-out stops the run while the route server keeps it waiting: no routes,
        // exit status 3, and the state and phase it was stopped in named.
        Scenario{.name = "ATimeOutBeforeAnyRouteIsStoppedWithStatus3",
                 .routes = {"r1"},
                 .server_options = "fault=silent",
                 .extra = {"--timeout", "0.5"},
                 .status = 3,
                 .result_code = 0,
                 .banner = "F A I L U R E",
                 .expect = {},
                 .key_outcome = "not_reached",
                 .key_reason = "not reached \u2014 test stopped",
                 .server_reason = "no answer \u2014 test stopped",
                 .end_state = "UpdateRoutes",
                 .phase = "discovering_routes",
                 .timed_out = "Timed out after 0.5 s in state UpdateRoutes, while asking the route servers",
                 .monitoring = R"(ZELVAN PROBE UNKNOWN - timed out after \d+\.\d\d s while asking the route )"
                               R"(servers, in state UpdateRoutes \| elapsed=\d+\.\d\ds)"},
        // The time-out comes while the second route keeps the login waiting: the first
        // route's score is kept; the one cut short was stopped, so it is not counted as
        // failed, although the result still says some routes failed.
        Scenario{.name = "ATimeOutWhileProfilingKeepsTheScoresWithStatus3",
                 .routes = {"r1", "r2 fault=silent"},
                 .extra = {"--timeout", "4"},
                 .status = 3,
                 .result_code = 2,
                 .banner = "S O M E   R O U T E S   F A I L E D",
                 .expect = {kScored, {25, false, "stopped", "stopped while waiting for the login reply"}},
                 .key_outcome = "not_reached",
                 .key_reason = "not reached \u2014 test stopped",
                 .end_state = "UpdateRoutes",
                 .phase = "profiling_routes",
                 .timed_out = "Timed out after 4 s in state UpdateRoutes, while profiling route 2 of 2",
                 .monitoring = R"(ZELVAN PROBE UNKNOWN - timed out after \d+\.\d\d s while profiling route 2 of 2, )"
                               R"(in state UpdateRoutes \| 'r1'=0;;24;0;25 'r2'=U;;24;0;25 elapsed=\d+\.\d\ds)"}),
    [](const ::testing::TestParamInfo<Scenario>& scenario) { return std::string(scenario.param.name); });

// No route server answers: FAILURE, CRITICAL, and every form says which server did what.
// Both rounds and the wait between them run at real time (about 40 s), so the three forms
// run at once.
TEST_F(ConsoleRunnerTest, NoRouteServerAnsweringIsCriticalWithTheServersReason) {
  // A bound socket that never listens: every connect to its port is refused, and no other
  // program can take the port while the test runs.
  std::uint16_t held_port = 0;
  const RawSocket held = RawBindOnly(held_port);
  ASSERT_NE(held, kNoRawSocket);
  port_ = held_port;
  // The trace's form: the port in four hexadecimal digits.
  char name[32];
  std::snprintf(name, sizeof name, "127.0.0.1:%04X", static_cast<unsigned>(port_));
  const std::string refused = std::string(name) + " refused the connection";
  // The results' form: the port as the operator types it.
  const std::string typed = "127.0.0.1:" + PortHex();
  // And a route server that answers without "OK".
  const std::string refused_port = PortHex();
  StartSim({"r1"}, "fault=not-ok");
  const std::string not_ok_port = PortHex();
  auto start = [&](const std::string& port, const std::string& form) {
    std::vector<std::string> args = {ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", port,
                                     "--dns-store", (dir_ / (port + form + ".db")).string()};
    if (!form.empty()) args.push_back(form);
    return std::make_unique<Program>(args);
  };
  auto plain = start(refused_port, ""), json = start(refused_port, "--json"),
       monitoring = start(refused_port, "--monitoring");
  auto not_ok_json = start(not_ok_port, "--json"), not_ok_monitoring = start(not_ok_port, "--monitoring");

  ASSERT_EQ(monitoring->Finish(60), 2) << monitoring->err;
  const auto status = Lines(monitoring->out);
  ASSERT_EQ(status.size(), 1u) << monitoring->out;
  EXPECT_TRUE(std::regex_match(status[0], std::regex("ZELVAN PROBE CRITICAL - no route server answered: " + refused +
                                                     "; " + refused + R"( \| elapsed=\d+\.\d\ds)")))
      << status[0];

  ASSERT_EQ(json->Finish(60), 2) << json->err;
  ExpectValidDocument(json->out);
  const auto doc = nlohmann::json::parse(json->out);
  EXPECT_EQ(doc["banner"], "FAILURE");
  EXPECT_EQ(doc["exit_status"], 2);
  EXPECT_EQ(doc["routes"].size(), 0u);
  ASSERT_EQ(doc["servers"].size(), 2u);  // one per round
  for (const auto& server : doc["servers"]) {
    EXPECT_EQ(server["outcome"], "connect_failed");
    EXPECT_EQ(server["reason"], "refused the connection");
    EXPECT_EQ(server["next_step"], NextStepOf(OutcomeKind::ServerRefused));
  }
  EXPECT_EQ(doc["route_list_next_step"], NextStepOf(OutcomeKind::NoRouteServerAnsweredByAddress));
  EXPECT_EQ(doc["key"]["outcome"], "not_reached");

  ASSERT_EQ(plain->Finish(60), 2) << plain->err;
  const auto lines = Lines(plain->out);
  const auto report = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return !IsTraceLine(l); });
  EXPECT_THAT(std::vector<std::string>(report, lines.end()),
              ElementsAreArray({std::string("F A I L U R E"),
                                std::string("No route server gave a route. Route servers asked:"),
                                "    " + typed + " \u2014 refused the connection",
                                "    " + typed + " \u2014 refused the connection (asked again)", std::string(),
                                std::string("What to check next:"),
                                "    Route list \u2014 " + std::string(NextStepOf(OutcomeKind::NoRouteServerAnsweredByAddress)),
                                "    " + typed + " \u2014 " + NextStepOf(OutcomeKind::ServerRefused)}));

  const std::string not_ok = "127.0.0.1:" + not_ok_port + R"( answered without OK: "ERR No routes available")";
  ASSERT_EQ(not_ok_monitoring->Finish(60), 2) << not_ok_monitoring->err;
  EXPECT_TRUE(std::regex_match(Lines(not_ok_monitoring->out).at(0),
                               std::regex("ZELVAN PROBE CRITICAL - no route server answered: " + not_ok + "(; " +
                                          not_ok + R"()* \| elapsed=\d+\.\d\ds)")))
      << not_ok_monitoring->out;
  ASSERT_EQ(not_ok_json->Finish(60), 2) << not_ok_json->err;
  ExpectValidDocument(not_ok_json->out);
  const auto not_ok_doc = nlohmann::json::parse(not_ok_json->out);
  ASSERT_FALSE(not_ok_doc["servers"].empty());
  for (const auto& server : not_ok_doc["servers"]) {
    EXPECT_EQ(server["outcome"], "not_ok");
    EXPECT_EQ(server["reason"], R"(answered without OK: "ERR No routes available")");
  }
  RawClose(held);
}

TEST_F(ConsoleRunnerTest, BadUsageExitsWithStatus3AndIsUnknownOnStandardOutputForMonitoring) {
  // Refused labels end the program before any test, so the file is never written.
  const std::string textfile = (dir_ / "labels.prom").string();
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--selection", "5"}, {"--no-such-option"}, {"--json"},
        {"--timeout", "-1"}, {"--timeout", "nan"}, {"--timeout", "inf"}, {"--timeout", "1e300"},
        {"unexpected"}, {"--prometheus-textfile", "/no-such-folder/zelvan-probe.prom"},
        {"--report", ""}, {"--report", "/no-such-folder/report.html"}, {"--history-db", ""},
        {"--report", "-", "--json"},
        {"--metric-label", "site=berlin"},
        {"--metric-label", "route=r9", "--prometheus-textfile", textfile},
        {"--metric-label", "site=a", "--metric-label", "site=b", "--prometheus-textfile", textfile},
        {"--metric-label", "__site=a", "--prometheus-textfile", textfile},
        {"--metric-label", "site=a", "zone=b", "--prometheus-textfile", textfile},
        {"--metric-label", "outcome=x", "--prometheus-textfile", textfile},
        {"--warning", "0"}, {"--warning", "26"}}) {
    for (const bool monitoring : {false, true}) {
      std::vector<std::string> argv = {ZP_CLI_PROGRAM};
      argv.insert(argv.end(), args.begin(), args.end());
      if (monitoring) argv.push_back("--monitoring");
      // "--json" alone is fine: only beside "--monitoring" is it a usage error.
      if (!monitoring && args[0] == "--json") continue;
      Program cli(argv);
      // A usage error ends at once; the limit only guards against a hang (a cold start
      // under an emulator on a busy machine has taken over 5 s).
      EXPECT_EQ(cli.Finish(30), 3) << args[0];
      EXPECT_EQ(cli.out.find("ExpressT"), std::string::npos);
      if (monitoring) {
        // The status line is all a monitoring system reads.
        const auto lines = Lines(cli.out);
        ASSERT_EQ(lines.size(), 1u) << cli.out;
        EXPECT_THAT(lines[0], StartsWith("ZELVAN PROBE UNKNOWN - usage error: ")) << args[0];
      } else {
        EXPECT_EQ(cli.out, "") << args[0];
        EXPECT_NE(cli.err, "") << args[0];
      }
    }
  }
  EXPECT_FALSE(std::filesystem::exists(textfile));
}

// The help speaks of the system it runs on, and "/?" asks for it as Windows programs are
// asked; --timeout's text reads as a sentence.
TEST_F(ConsoleRunnerTest, HelpInTheSystemsOwnWords) {
#ifdef _WIN32
  const std::vector<std::string> own = {"Ctrl+C, Ctrl+Break", "%LOCALAPPDATA%\\Zelvan Probe", "windows_exporter",
                                        "Task Scheduler", "HKEY_CURRENT_USER"};
  const std::vector<std::string> foreign = {"SIG", "node_exporter", "symbolic link", "state folder", "systemd"};
#else
  const std::vector<std::string> own = {"SIGTERM, SIGINT, SIGHUP", "~/.local/state/zelvan-probe", "node_exporter",
                                        "symbolic link"};
  const std::vector<std::string> foreign = {"Ctrl+", "LOCALAPPDATA", "windows_exporter", "Task Scheduler",
                                            "registry key"};
#endif
  Program help({ZP_CLI_PROGRAM, "--help"});
  ASSERT_EQ(help.Finish(30), 0) << help.err;
  for (const std::string& word : own) EXPECT_THAT(help.out, HasSubstr(word));
  for (const std::string& word : foreign) EXPECT_THAT(help.out, ::testing::Not(HasSubstr(word)));
  EXPECT_THAT(help.out, HasSubstr("Time spent waiting for another program that holds the history or the DNS cache "
                                  "counts against it"));
  Program asked({ZP_CLI_PROGRAM, "/?"});
  ASSERT_EQ(asked.Finish(30), 0) << asked.err;
  EXPECT_EQ(asked.out, help.out);
}

// --port takes what the window's Port box takes, 1 to FFFF in hexadecimal digits; anything
// else is a usage error before any test, never port 0 or a port cut to 16 bits.
TEST_F(ConsoleRunnerTest, PortTable) {
  const struct {
    const char* text;
    int port;  // 0: refused
  } cases[] = {
      {"6900", 0x6900}, {"ffff", 0xFFFF}, {"1", 1}, {"0001", 1}, {"aBc", 0xABC},
      {"0", 0},         {"", 0},          {"ZZZZ", 0}, {"0x6900", 0}, {"-1", 0},
      {"10000", 0},     {"1A30F", 0},     {" 690", 0}, {"69 0", 0},   {"+690", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    // An accepted port starts the test, which the time-out stops before any answer counts.
    Program cli({ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", c.text, "--timeout", "0.3", "--dns-store",
                 (dir_ / "registry.db").string(), "--no-history"});
    EXPECT_EQ(cli.Finish(30), 3);
    if (c.port == 0) {
      EXPECT_EQ(cli.out, "");
      EXPECT_THAT(cli.err, HasSubstr("--port: \""));
      EXPECT_THAT(cli.err, HasSubstr("\" is not a port: give 1 to FFFF in hexadecimal digits"));
    } else {
      char first[64];
      std::snprintf(first, sizeof first, "\t127.0.0.1:%04X (%d) RouteCode(A)", static_cast<unsigned>(c.port), c.port);
      EXPECT_THAT(Lines(cli.out).at(0), HasSubstr(first));
      EXPECT_THAT(cli.err, StartsWith("Timed out after 0.3 s"));
    }
  }
}

// A file the run would replace must be a regular file or nothing yet: whatever else stands
// there is refused before the test, and left as it was.
TEST_F(ConsoleRunnerTest, FileTargetsThatAreNotRegularFilesAreRefusedBeforeTheTest) {
  namespace fs = std::filesystem;
  struct Target {
    const char* name;
    fs::path path;
    const char* is;
  };
  std::vector<Target> targets = {{"a folder", dir_, " is a folder, not a regular file"}};
#ifndef _WIN32
  std::ofstream(dir_ / "kept.prom") << "kept\n";
  fs::create_symlink(dir_ / "kept.prom", dir_ / "link.prom");
  fs::create_symlink(dir_ / "nowhere.prom", dir_ / "dangling.prom");
  targets.push_back({"a symbolic link to a regular file", dir_ / "link.prom", " is a symbolic link, not a regular file"});
  targets.push_back({"a symbolic link to nothing", dir_ / "dangling.prom", " is a symbolic link, not a regular file"});
  targets.push_back({"a device", "/dev/null", " is a device, not a regular file"});
  targets.push_back({"a device through its name", "/dev/stdout", " is a symbolic link, not a regular file"});
  ASSERT_EQ(mkfifo((dir_ / "pipe.prom").c_str(), 0600), 0);
  targets.push_back({"a pipe", dir_ / "pipe.prom", " is a pipe, not a regular file"});
#endif
  for (const Target& t : targets) {
    for (const char* option : {"--report", "--prometheus-textfile"}) {
      SCOPED_TRACE(std::string(t.name) + " " + option);
      Program cli({ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", "6900", "--monitoring", "--no-history", option,
                   t.path.string()});
      EXPECT_EQ(cli.Finish(30), 3);
      const auto lines = Lines(cli.out);
      ASSERT_EQ(lines.size(), 1u) << cli.out;
      EXPECT_THAT(lines[0], StartsWith(std::string("ZELVAN PROBE UNKNOWN - usage error: ") + option + ": "));
      EXPECT_THAT(lines[0], HasSubstr(t.is));
    }
  }
#ifndef _WIN32
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.prom"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.prom"));
  EXPECT_FALSE(fs::exists(dir_ / "nowhere.prom"));
  std::ifstream kept(dir_ / "kept.prom");
  std::string line;
  std::getline(kept, line);
  EXPECT_EQ(line, "kept");
#endif
}

// "--report -": the report is all that standard output carries; the trace and the results
// go to standard error.
TEST_F(ConsoleRunnerTest, AReportToStandardOutput) {
  StartSim({"r1"});
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {"--report", "-"}), 0) << cli->err;
  EXPECT_THAT(cli->out, StartsWith("<!DOCTYPE html>"));
  EXPECT_THAT(cli->out, EndsWith("</html>\n"));
  EXPECT_TRUE(IsTraceLine(Lines(cli->err).at(0))) << cli->err;
  EXPECT_THAT(cli->err, HasSubstr("\tr1 Profiling Complete"));
  EXPECT_THAT(cli->err, HasSubstr("\nS U C C E S S\n"));
}

// A stop request (SIGTERM; Ctrl+C on Windows) early and late in a run ends it within about
// a second, as the time-out would: STOPPED with what it had found, exit status 3, the
// textfile and the history row written.
TEST_F(ConsoleRunnerTest, AStopRequestEndsTheRunWithItsResults) {
  // r2 keeps its login waiting for 15 s.
  StartSim({"r1", "r2 fault=silent"});
  const std::string history = (dir_ / "history.db").string();
  int recorded = 0;
  for (const double at : {1.0, 6.0}) {
    SCOPED_TRACE(at);
    const auto textfile = dir_ / "zelvan-probe.prom";
    Program cli({ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", PortHex(), "--dns-store",
                 (dir_ / "registry.db").string(), "--history-db", history, "--monitoring", "--prometheus-textfile",
                 textfile.string()});
    std::this_thread::sleep_for(std::chrono::duration<double>(at));
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(cli.Stop());
    ASSERT_EQ(cli.Finish(30), 3) << cli.out << cli.err;
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    EXPECT_LT(took, 3.0) << "a stop ends the run within about a second";
    ++recorded;
    const auto lines = Lines(cli.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(ZELVAN PROBE UNKNOWN - stopped by (SIGTERM|Ctrl\+C) after )"
                                                      R"(\d+\.\d\d s while (asking the route servers|profiling )"
                                                      R"(route [12] of 2), in state \w+ \| .*elapsed=\d+\.\d\ds)")))
        << lines[0];
    std::ifstream in(textfile);
    const std::string metrics((std::istreambuf_iterator<char>(in)), {});
    EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_stopped 1\n"));
    EXPECT_THAT(metrics, HasSubstr("\nzelvan_probe_up 0\n"));
    EXPECT_THAT(metrics, HasSubstr("zelvan_probe_result{banner=\"STOPPED\"} 3\n"));
#ifndef _WIN32
    Program list({ZP_CLI_PROGRAM, "--history-db", history, "--history", "--json"});
    ASSERT_EQ(list.Finish(30), 0) << list.err;
    const auto runs = nlohmann::json::parse(list.out)["runs"];
    ASSERT_EQ(runs.size(), static_cast<std::size_t>(recorded));
    EXPECT_EQ(runs[0]["banner"], "STOPPED");
    EXPECT_EQ(runs[0]["stopped"], true);
#endif
  }
}

// Into a pipe the trace goes in blocks, but never waits on the test: the lines traced
// before the worker waits for a silent route reach the reader during that wait.
TEST_F(ConsoleRunnerTest, TraceReachesAPipeWhileTheTestWaits) {
  StartSim({"r1 fault=silent"});  // its login waits 15 s
  Program cli({ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", PortHex(), "--dns-store",
               (dir_ / "registry.db").string(), "--no-history", "--timeout", "30"});
  const std::string first = cli.Line(8);
  EXPECT_TRUE(IsTraceLine(first)) << first;
  std::string line;
  while (IsTraceLine(line = cli.Line(8)) && line.find("CurrentRoute") == std::string::npos) {
  }
  EXPECT_THAT(line, HasSubstr("CurrentRoute")) << "the trace up to the route's connect arrives during its wait";
  ASSERT_TRUE(cli.Stop());
  EXPECT_EQ(cli.Finish(30), 3) << cli.err;
}

#ifndef _WIN32
// A second request ends the program at once, as the signal does to a program that does not
// catch it. Two different signals, since a second SIGTERM still pending would merge with
// the first.
TEST_F(ConsoleRunnerTest, ASecondStopRequestEndsTheProgramAtOnce) {
  StartSim({"r1 fault=silent"});
  Program cli({"/bin/bash", "-c", "\"$0\" \"$@\" & pid=$!; sleep 0.5; kill -TERM $pid; kill -INT $pid; wait $pid",
               ZP_CLI_PROGRAM, "--server", "127.0.0.1", "--port", PortHex(), "--dns-store",
               (dir_ / "registry.db").string(), "--no-history", "--monitoring"});
  const int status = cli.Finish(5);
  EXPECT_TRUE(status == 128 + SIGTERM || status == 128 + SIGINT) << status;
  EXPECT_EQ(cli.out, "");
}
#endif

}  // namespace
}  // namespace zp::test
