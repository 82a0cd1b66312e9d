// The zelvan-gateway-sim program as scripts and people run it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/LoopbackClient.h"
#include "support/ProcessRunner.h"

namespace zp::sim {
namespace {

test::Program Sim(std::vector<std::string> args) {
  args.insert(args.begin(), ZP_SIM_PROGRAM);
  return test::Program(std::move(args));
}

std::uint16_t PortAfter(const std::string& line, const std::string& key) {
  const std::size_t at = line.find(key);
  if (at == std::string::npos) return 0;
  const std::size_t colon = line.find(':', at);
  return static_cast<std::uint16_t>(std::stoi(line.substr(colon + 1)));
}

// The stop is SIGTERM on POSIX systems and Ctrl+C on Windows; either ends in order with
// status 0.
TEST(SimProgramTest, ReportsReadyServesTheListAndStopsInOrderWhenAsked) {
  test::Program sim = Sim({"--route-server", "127.0.0.1:0", "--route", "r1",
                  "--route", "r2 fault=login-refused status=17 text='Access denied'"});
  const std::string ready = sim.Line(10);
  ASSERT_EQ(ready.rfind("READY route-server=127.0.0.1:", 0), 0u) << ready;
  EXPECT_NE(ready.find(" routes=r1=127.0.0.1:"), std::string::npos);
  EXPECT_NE(ready.find(",r2=127.0.0.1:"), std::string::npos);
  // Every port in hexadecimal too, as the probe takes it, before the routes that run to
  // the end of the line.
  const auto hex = [](unsigned port) {
    char text[8];
    std::snprintf(text, sizeof text, "%X", port);
    return std::string(text);
  };
  EXPECT_NE(ready.find(" route-server-hex=127.0.0.1:" + hex(PortAfter(ready, "route-server=")) + " "), std::string::npos)
      << ready;
  EXPECT_NE(ready.find(" route-ports-hex=r1:" + hex(PortAfter(ready, "r1=")) + ",r2:" + hex(PortAfter(ready, "r2=")) +
                       " routes="),
            std::string::npos)
      << ready;

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

  const bool asked = sim.Stop();
  const int status = sim.Finish(10);
  ASSERT_TRUE(asked) << "the stop request could not be delivered";
  EXPECT_EQ(status, 0) << sim.err;
}

TEST(SimProgramTest, DurationEndsTheRunAndHelpPrintsTheManual) {
  test::Program timed = Sim({"--route-server", "127.0.0.1:0", "--duration", "0.2"});
  EXPECT_EQ(timed.Line(10).rfind("READY", 0), 0u);
  EXPECT_EQ(timed.Finish(10), 0);

  test::Program help = Sim({"--help"});
  EXPECT_EQ(help.Finish(10), 0);
  const std::string& manual = help.out;
  for (const char* heading : {"SYNOPSIS", "ROUTE FAULTS", "ROUTE-SERVER FAULTS", "SCENARIO FILES", "EXIT STATUS"})
    EXPECT_NE(manual.find(heading), std::string::npos) << heading;
}

TEST(SimProgramTest, BadArgumentsExitWithStatus2) {
  test::Program bad = Sim({"--route", "r1 fault=nonsense"});
  EXPECT_EQ(bad.Line(10), "");
  EXPECT_EQ(bad.Finish(10), 2);
  EXPECT_NE(bad.err.find("zelvan-gateway-sim: "), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace zp::sim
