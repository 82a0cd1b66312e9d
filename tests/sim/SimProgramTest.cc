// The zelvan-gateway-sim program as scripts and people run it.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sim/LoopbackClient.h"

extern char** environ;

namespace zp::sim {
namespace {

// The program with its standard output on a pipe; killed on destruction if still running.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    args.insert(args.begin(), ZP_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
  }
  ~SimProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }

  // The first line of standard output, within a few seconds.
  std::string FirstLine() {
    std::string line;
    char c;
    pollfd p{out_, POLLIN, 0};
    while (poll(&p, 1, 10000) > 0 && read(out_, &c, 1) == 1 && c != '\n') line += c;
    return line;
  }
  std::string AllOutput() {
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = read(out_, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
    return text;
  }
  // The exit status, after `sig` when it is not 0.
  int Finish(int sig = 0) {
    if (sig != 0) kill(pid_, sig);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
};

std::uint16_t PortAfter(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return 0;
  const std::size_t colon = line.find(':', at);
  return static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
}

TEST(SimProgramTest, ReportsReadyServesTheListAndStopsOnSigterm) {
  SimProcess sim({"--route-server", "127.0.0.1:0", "--route", "r1",
                  "--route", "r2 fault=login-refused status=17 text='Access denied'"});
  const std::string ready = sim.FirstLine();
  ASSERT_EQ(ready.rfind("READY route-server=127.0.0.1:", 0), 0u) << ready;
  EXPECT_NE(ready.find(" routes=r1=127.0.0.1:"), std::string::npos);
  EXPECT_NE(ready.find(",r2=127.0.0.1:"), std::string::npos);

  testing::LoopbackClient client(PortAfter(ready, "route-server="));
  ZExpBuf p;
  testing::MakeRoutesRequest(p);
  client.Send(p);
  ASSERT_TRUE(client.Receive(p));
  const std::string routes = ready.substr(ready.find("routes=") + 7);
  std::string expected = "OK\r\n" + routes;
  expected.replace(expected.find(','), 1, "\r\n");
  EXPECT_EQ(testing::DataText(p), expected);

  testing::LoopbackClient r2(PortAfter(ready, "r2="));
  testing::MakeLogin(p, 3, 'P');
  r2.Send(p);
  ASSERT_TRUE(r2.Receive(p));
  EXPECT_EQ(p.ParseLogin().StatusText, "Access denied");

  EXPECT_EQ(sim.Finish(SIGTERM), 0);
}

TEST(SimProgramTest, DurationEndsTheRunAndHelpPrintsTheManual) {
  SimProcess timed({"--route-server", "127.0.0.1:0", "--duration", "0.2"});
  EXPECT_EQ(timed.FirstLine().rfind("READY", 0), 0u);
  EXPECT_EQ(timed.Finish(), 0);

  SimProcess help({"--help"});
  const std::string manual = help.AllOutput();
  EXPECT_EQ(help.Finish(), 0);
  for (const char* heading : {"SYNOPSIS", "ROUTE FAULTS", "ROUTE-SERVER FAULTS", "SCENARIO FILES", "EXIT STATUS"})
    EXPECT_NE(manual.find(heading), std::string::npos) << heading;
}

TEST(SimProgramTest, BadArgumentsExitWithStatus2) {
  SimProcess bad({"--route", "r1 fault=nonsense"});
  EXPECT_EQ(bad.FirstLine(), "");
  EXPECT_EQ(bad.Finish(), 2);
}

}  // namespace
}  // namespace zp::sim
