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

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace zp::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A started program with its standard output and error on pipes. Killed when still
// running at destruction.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // One line of standard output, waiting up to `seconds`.
  std::string Line(double seconds = 5) {
    std::string line;
    const auto end = Deadline(seconds);
    char c;
    while (std::chrono::steady_clock::now() < end) {
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      if (read(out_, &c, 1) != 1 || c == '\n') break;
      line += c;
    }
    return line;
  }
  // Reads both streams to their end, then the exit status; -1 (and a kill) when the
  // program runs past `seconds`.
  int Finish(double seconds) {
    const auto end = Deadline(seconds);
    while ((out_ >= 0 || err_ >= 0) && std::chrono::steady_clock::now() < end) {
      std::vector<pollfd> fds;
      if (out_ >= 0) fds.push_back({out_, POLLIN, 0});
      if (err_ >= 0) fds.push_back({err_, POLLIN, 0});
      if (poll(fds.data(), fds.size(), 50) <= 0) continue;
      for (const pollfd& p : fds) {
        if (p.revents == 0) continue;
        char chunk[8192];
        const ssize_t n = read(p.fd, chunk, sizeof chunk);
        std::string& sink = p.fd == out_ ? out : err;
        if (n > 0) {
          sink.append(chunk, static_cast<std::size_t>(n));
        } else {
          close(p.fd);
          (p.fd == out_ ? out_ : err_) = -1;
        }
      }
    }
    if (out_ >= 0 || err_ >= 0) return -1;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  void Stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
  }

  std::string out, err;

 private:
  static std::chrono::steady_clock::time_point Deadline(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  }
  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
};

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

// The plain output: trace lines, then the banner, the heading and one line per route.
void ExpectReport(const Program& cli, const std::string& banner, const std::vector<std::string>& route_lines) {
  const auto lines = Lines(cli.out);
  const auto first_other = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return !IsTraceLine(l); });
  ASSERT_NE(first_other, lines.end()) << cli.out;
  EXPECT_GT(first_other - lines.begin(), 10);
  std::vector<std::string> report(first_other, lines.end());
  std::vector<std::string> expected = {banner, "Score\tRoute"};
  expected.insert(expected.end(), route_lines.begin(), route_lines.end());
  EXPECT_THAT(report, ElementsAreArray(expected)) << cli.out;
  EXPECT_THAT(lines[0], HasSubstr("\t127.0.0.1:"));
  EXPECT_THAT(lines[0], HasSubstr(" RouteCode(A) Sig(0 Bytes)"));
}

std::string ScoreLine(int score, const std::string& entry) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%6d\t%s", score, entry.c_str());
  return buf;
}

TEST_F(ConsoleRunnerTest, AHealthyGatewayIsSuccessWithStatus0) {
  const auto entries = StartSim({"r1"});
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {}), 0) << cli->out << cli->err;
  ExpectReport(*cli, "S U C C E S S", {ScoreLine(0, entries[0])});
  EXPECT_EQ(cli->err, "");
}

TEST_F(ConsoleRunnerTest, MonitoringReportsSuccessAsOk) {
  const auto entries = StartSim({"r1"});
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {"--monitoring"}), 0) << cli->out << cli->err;
  // A status line with perfdata, then one line per route; no trace.
  const auto lines = Lines(cli->out);
  ASSERT_EQ(lines.size(), 2u) << cli->out;
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("ZELVAN PROBE OK - SUCCESS, 0 of 1 routes failed \\| "
                                                    "'r1'=0;;;0;25 elapsed=\\d+\\.\\d\\ds")))
      << lines[0];
  EXPECT_EQ(lines[1], entries[0] + " score 0");
}

TEST_F(ConsoleRunnerTest, ARefusedRouteIsSomeRoutesFailedWithStatus1) {
  const auto entries = StartSim({"r1", "r2 fault=refused"});
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {}), 1) << cli->out << cli->err;
  ExpectReport(*cli, "S O M E   R O U T E S   F A I L E D", {ScoreLine(0, entries[0]), ScoreLine(25, entries[1])});
}

TEST_F(ConsoleRunnerTest, JsonIsOneDocumentOnOutputWithTheTraceOnError) {
  const auto entries = StartSim({"r1", "r2 fault=refused"});
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {"--json"}), 1) << cli->err;
  nlohmann::json doc;
  ASSERT_NO_THROW(doc = nlohmann::json::parse(cli->out)) << cli->out;
  EXPECT_EQ(doc["result_code"], 2);
  EXPECT_EQ(doc["banner"], "SOME ROUTES FAILED");
  EXPECT_EQ(doc["server"], "127.0.0.1");
  EXPECT_EQ(doc["port"], port_);
  EXPECT_EQ(doc["route_code"], "A");
  EXPECT_EQ(doc["end_state"], "Halted");
  EXPECT_EQ(doc["timed_out"], false);
  EXPECT_TRUE(doc["start_time"].is_string());
  EXPECT_GT(doc["elapsed_seconds"].get<double>(), 0.0);
  ASSERT_EQ(doc["routes"].size(), 2u);
  EXPECT_EQ(doc["routes"][0]["route"], entries[0]);
  EXPECT_EQ(doc["routes"][0]["score"], 0);
  EXPECT_EQ(doc["routes"][1]["route"], entries[1]);
  EXPECT_EQ(doc["routes"][1]["score"], 25);
  const auto trace = Lines(cli->err);
  ASSERT_GT(trace.size(), 10u);
  for (const auto& l : trace) EXPECT_TRUE(IsTraceLine(l)) << l;
}

TEST_F(ConsoleRunnerTest, MonitoringReportsSomeRoutesFailedAsWarning) {
  const auto entries = StartSim({"r1", "r2 fault=refused"});
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {"--monitoring"}), 1) << cli->out << cli->err;
  EXPECT_THAT(cli->out, StartsWith("ZELVAN PROBE WARNING - SOME ROUTES FAILED, 1 of 2 routes failed | 'r1'=0;;;0;25 "
                                   "'r2'=25;;;0;25 elapsed="));
  EXPECT_THAT(cli->out, HasSubstr("\n" + entries[1] + " score 25 (failed)\n"));
}

TEST_F(ConsoleRunnerTest, ARefusedLoginIsFailureWithStatus2) {
  const auto entries = StartSim({"r1 fault=login-refused status=17 text='Access denied'"});
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {}), 2) << cli->out << cli->err;
  ExpectReport(*cli, "F A I L U R E", {ScoreLine(25, entries[0])});
  EXPECT_THAT(cli->out, HasSubstr("\tAccess denied\n"));

  ASSERT_EQ(RunCli(cli, {"--monitoring"}), 2);
  EXPECT_THAT(cli->out, StartsWith("ZELVAN PROBE CRITICAL - FAILURE, 1 of 1 routes failed | 'r1'=25;;;0;25 elapsed="));
}

TEST_F(ConsoleRunnerTest, ATimeOutStopsTheTestWithStatus3AndNamesTheState) {
  StartSim({"r1"}, "fault=silent");
  Program* cli = nullptr;
  ASSERT_EQ(RunCli(cli, {"--timeout", "0.5"}), 3) << cli->out << cli->err;
  EXPECT_THAT(cli->err, HasSubstr("Timed out after 0.5 s in state UpdateRoutes\n"));
  // The worker is stopped, not abandoned: its shutdown is still traced, then the report.
  EXPECT_THAT(cli->out, HasSubstr("\tShutdown\n"));
  EXPECT_THAT(cli->out, HasSubstr("F A I L U R E\nScore\tRoute\n"));

  ASSERT_EQ(RunCli(cli, {"--timeout", "0.5", "--monitoring"}), 3);
  EXPECT_THAT(cli->out, StartsWith("ZELVAN PROBE UNKNOWN - timed out after "));
  EXPECT_THAT(cli->out, HasSubstr(" s in state UpdateRoutes | elapsed="));
}

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
