// The walk over the server list and the route request against simulated route servers
// on loopback: accepted and refused answers, the list merge, how items are classified,
// and how failures on one address decide whether the next is tried.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <regex>

#include "client/discovery/DiscoverySupport.h"
#include "client/ProbeHarness.h"

namespace zp::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RouteDiscoveryTest : public ProbeHarness {
 protected:
  // Stops the test once `n` route requests have finished, before profiling gets far.
  static std::function<bool(const ProbeRun&)> AfterGetRoutes(int n) {
    return [n](const ProbeRun& r) {
      return std::count_if(r.lines.begin(), r.lines.end(),
                           [](const std::string& l) { return l.rfind("GetRoute Finished", 0) == 0; }) >= n;
    };
  }
  static std::vector<std::string> RouteTexts(const ProbeRun& run) {
    std::vector<std::string> out;
    for (const auto& r : run.routes) out.push_back(r.text);
    return out;
  }
  // The trace lines that start with `prefix`, in order.
  static std::vector<std::string> LinesStarting(const ProbeRun& run, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& l : run.lines)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
};

// A resolver that answers from a table and records every host it was asked for.
struct FakeDns {
  std::map<std::string, std::vector<std::string>> answers;
  std::mutex mu;
  std::vector<std::string> asked;

  HostResolver Resolver() {
    return [this](const std::string& host, std::vector<std::string>& out) {
      std::lock_guard lock(mu);
      asked.push_back(host);
      const auto it = answers.find(host);
      if (it == answers.end()) return false;
      out = it->second;
      return true;
    };
  }
};

TEST_F(RouteDiscoveryTest, TwoDottedServersAreAskedInOrderAndTheSecondAnswerReplacesTheFirst) {
  auto s = StartOnOnePort({Answering({"a=127.0.0.1:1", "b=127.0.0.1:2"}), Answering({"c=127.0.0.1:3", "B=127.0.0.1:2"})},
                          {"127.0.0.1", "127.0.0.2"});
  ProbeSettings settings;
  settings.server = "127.0.0.1,127.0.0.2";
  settings.port = s.port;
  settings.stop_when = AfterGetRoutes(2);
  const ProbeRun run = Run(settings);

  const std::string p = HexPort(s.port);
  EXPECT_THAT(LinesStarting(run, "GetRoute Start"),
              ElementsAre("GetRoute Start \"127.0.0.1:" + p + "\"", "GetRoute Start \"127.0.0.2:" + p + "\""));
  // Routes of the last accepted answer, in first-seen order: "b" kept its first spelling
  // and place, "a" went, "c" came.
  EXPECT_THAT(RouteTexts(run), ElementsAre("b=127.0.0.1:2", "c=127.0.0.1:3")) << Dump(run);
  for (const auto& r : run.routes) EXPECT_EQ(r.score, 25);
  EXPECT_EQ(s.sim->ServerStats(0).requests, 1);
  EXPECT_EQ(s.sim->ServerStats(1).requests, 1);
  // One ClientSequence counter for the whole test.
  const auto sent = LinesStarting(run, "<Tx>");
  ASSERT_EQ(sent.size(), 2u) << Dump(run);
  EXPECT_NE(sent[0].find(" cli0001 "), std::string::npos) << sent[0];
  EXPECT_NE(sent[1].find(" cli0002 "), std::string::npos) << sent[1];
  EXPECT_TRUE(run.Has("Connected to 127.0.0.2:" + p + " (" + std::to_string(s.port) + ")"));
  EXPECT_TRUE(run.Has("00 \"OK\"")) << Dump(run);
  EXPECT_TRUE(run.Has("02 \"B=127.0.0.1:2\""));
  // What the window shows while it runs ("Connected to" lasts only until the request,
  // so a trace line rarely sees it).
  std::vector<std::string> shown;
  for (const auto& t : run.statuses)
    if (t.rfind("Connected to ", 0) != 0) shown.push_back(t);
  ASSERT_GE(shown.size(), 6u) << ::testing::PrintToString(run.statuses);
  const std::string d = std::to_string(s.port);
  const std::regex updated("Routes Updated \\d\\d/\\d\\d \\d\\d:\\d\\d");
  for (int i = 0; i < 2; ++i) {
    const std::string at = (i == 0 ? "127.0.0.1:" : "127.0.0.2:") + p + " (" + d + ")";
    EXPECT_EQ(shown[3 * i], "Tx Request to " + at);
    EXPECT_EQ(shown[3 * i + 1], "Rx Response from " + at + " \"OK\"");
    EXPECT_TRUE(std::regex_match(shown[3 * i + 2], updated)) << shown[3 * i + 2];
  }
}

TEST_F(RouteDiscoveryTest, AnAnswerLeftFromAnEarlierServerIsNotTakenForTheNextOnesAnswer) {
  // The first server answers twice in one write; the second answers a little late. Its
  // own answer is the one that counts, not the spare copy of the first server's.
  sim::RouteServerConfig twice = Answering({"a=127.0.0.1:1"});
  twice.twice = true;
  sim::RouteServerConfig late = Answering({"b=127.0.0.1:2"});
  late.delay_ms = 1000;
  auto s = StartOnOnePort({twice, late}, {"127.0.0.1", "127.0.0.2"});
  ProbeSettings settings;
  settings.server = "127.0.0.1,127.0.0.2";
  settings.port = s.port;
  settings.stop_when = AfterGetRoutes(2);
  const ProbeRun run = Run(settings);

  EXPECT_THAT(RouteTexts(run), ElementsAre("b=127.0.0.1:2")) << Dump(run);
  EXPECT_EQ(s.sim->ServerStats(1).requests, 1);
}

TEST_F(RouteDiscoveryTest, RepeatedAndEmptyRouteLinesAddEachEntryOnce) {
  auto s = StartOnOnePort({Answering({"a=127.0.0.1:1", "A=127.0.0.1:1", "", "b=127.0.0.1:2", "a=127.0.0.1:1"})},
                          {"127.0.0.1"});
  ProbeSettings settings;
  settings.port = s.port;
  settings.stop_when = AfterGetRoutes(1);
  const ProbeRun run = Run(settings);

  EXPECT_THAT(RouteTexts(run), ElementsAre("a=127.0.0.1:1", "b=127.0.0.1:2")) << Dump(run);
  // Every line is traced with its index, the empty one too.
  EXPECT_TRUE(run.Has("03 \"\"")) << Dump(run);
  EXPECT_TRUE(run.Has("05 \"a=127.0.0.1:1\""));
  EXPECT_NE(std::find_if(run.statuses.begin(), run.statuses.end(),
                         [](const std::string& t) { return t.rfind("Routes Updated ", 0) == 0; }),
            run.statuses.end());
}

TEST_F(RouteDiscoveryTest, AnAnswerWithoutOkLeavesTheListAndEndsTheHost) {
  sim::RouteServerConfig refusing = Answering({"x=127.0.0.1:9"});
  refusing.status_line = "ERR No routes available";
  auto s = StartOnOnePort({Answering({"a=127.0.0.1:1"}), refusing, refusing}, {"127.0.0.1", "127.0.0.2", "127.0.0.3"});
  FakeDns dns;
  dns.answers["routes.test"] = {"127.0.0.2", "127.0.0.3"};
  ProbeSettings settings;
  settings.server = "127.0.0.1,routes.test";
  settings.port = s.port;
  settings.resolver = dns.Resolver();
  settings.stop_when = AfterGetRoutes(2);
  const ProbeRun run = Run(settings);

  EXPECT_THAT(RouteTexts(run), ElementsAre("a=127.0.0.1:1")) << Dump(run);
  EXPECT_TRUE(run.Has("00 \"ERR No routes available\""));
  EXPECT_TRUE(run.Has("01 \"x=127.0.0.1:9\""));
  // The host's first address in shuffled order answered: the other is never asked.
  const std::string first = ShuffledFrom(0, {"127.0.0.2", "127.0.0.3"})[0];
  const std::size_t first_index = first == "127.0.0.2" ? 1 : 2;
  EXPECT_EQ(s.sim->ServerStats(first_index).requests, 1);
  EXPECT_EQ(s.sim->ServerStats(3 - first_index).connections, 0);
  EXPECT_EQ(run.CountOf("GetRoute Finished \"" + first + ":" + HexPort(s.port) + "\""), 1);
  // Give the walk time to try another address if it wrongly would.
  EXPECT_EQ(LinesStarting(run, "GetRoute Start").size(), 2u) << Dump(run);
}

TEST_F(RouteDiscoveryTest, AnEmptyItemEndsTheWalk) {
  auto s = StartOnOnePort({Answering({"a=127.0.0.1:1"}), Answering({"b=127.0.0.1:2"})}, {"127.0.0.1", "127.0.0.2"});
  for (const char* server : {",127.0.0.1", "127.0.0.1,,127.0.0.2"}) {
    ProbeSettings settings;
    settings.server = server;
    settings.port = s.port;
    settings.stop_when = [](const ProbeRun& r) { return r.Has("No Routes") || r.HasPrefix("GetRoute Finished"); };
    const ProbeRun run = Run(settings);
    if (server[0] == ',') {
      EXPECT_FALSE(run.HasPrefix("GetRoute Start")) << Dump(run);
      EXPECT_TRUE(run.Has("No Routes"));
      EXPECT_THAT(run.routes, IsEmpty());
    } else {
      EXPECT_THAT(LinesStarting(run, "GetRoute Start"), ElementsAre("GetRoute Start \"127.0.0.1:" + HexPort(s.port) + "\""));
    }
  }
  EXPECT_EQ(s.sim->ServerStats(0).requests, 1);
  EXPECT_EQ(s.sim->ServerStats(1).connections, 0);
}

TEST_F(RouteDiscoveryTest, ItemsWithoutAPositiveFirstNumberAreHostNames) {
  auto s = StartOnOnePort({Answering({"a=127.0.0.1:1"})}, {"127.0.0.1"});
  FakeDns dns;
  dns.answers["0.1.2.3"] = {"127.0.0.1"};
  ProbeSettings settings;
  settings.server = "0.1.2.3,localroutes,127.0.0.1";
  settings.port = s.port;
  settings.resolver = dns.Resolver();
  settings.stop_when = AfterGetRoutes(2);
  const ProbeRun run = Run(settings);

  // "0.1.2.3" and "localroutes" go to DNS; "127.0.0.1" never does.
  EXPECT_THAT(dns.asked, ElementsAre("0.1.2.3", "localroutes"));
  EXPECT_TRUE(run.Has("[0] Address \"127.0.0.1\"")) << Dump(run);
  EXPECT_TRUE(run.Has("No cached DNS entries found for localroutes"));
  EXPECT_EQ(s.sim->ServerStats(0).requests, 2);
  EXPECT_THAT(RouteTexts(run), ElementsAre("a=127.0.0.1:1"));
}

TEST_F(RouteDiscoveryTest, NoAnswerWithinFortySecondsAbortsTheRequest) {
  sim::RouteServerConfig silent;
  silent.silent = true;
  auto s = StartOnOnePort({silent}, {"127.0.0.1"});
  ProbeSettings settings;
  settings.port = s.port;
  settings.stop_when = AfterGetRoutes(1);
  const ProbeRun run = Run(settings);

  const int timeout = run.IndexOf("Timeout waiting for Response");
  ASSERT_GE(timeout, 0) << Dump(run);
  EXPECT_EQ(run.IndexOf("Error occurred - Abort getroutes", timeout), timeout + 1);
  EXPECT_EQ(run.IndexOf("GetRoute Finished \"127.0.0.1:" + HexPort(s.port) + "\"", timeout), timeout + 3)
      << Dump(run);  // after the socket's "Freed" line
  EXPECT_NE(std::find(run.statuses.begin(), run.statuses.end(), "Routes Timeout"), run.statuses.end());
  // 40 s of the scaled clock, not much less.
  EXPECT_GE(run.real_seconds, 40.0 / kTimeScale * 0.9);
}

TEST_F(RouteDiscoveryTest, ARefusedConnectMovesOnToTheHostsNextAddress) {
  // Nothing listens on the first address in shuffled order.
  const std::vector<std::string> order = ShuffledFrom(0, {"127.0.0.2", "127.0.0.3"});
  auto s = StartOnOnePort({Answering({"a=127.0.0.1:1"})}, {order[1]});
  FakeDns dns;
  dns.answers["routes.test"] = {"127.0.0.2", "127.0.0.3"};
  ProbeSettings settings;
  settings.server = "routes.test";
  settings.port = s.port;
  settings.resolver = dns.Resolver();
  settings.stop_when = AfterGetRoutes(2);
  const ProbeRun run = Run(settings);

  const std::string p = HexPort(s.port);
  EXPECT_THAT(LinesStarting(run, "GetRoute Start"),
              ElementsAre("GetRoute Start \"" + order[0] + ":" + p + "\"", "GetRoute Start \"" + order[1] + ":" + p + "\""));
  EXPECT_TRUE(run.Has("connect() failed to \"" + order[0] + ":" + p + "\" WSAECONNREFUSED: the connection was refused "))
      << Dump(run);
  EXPECT_THAT(RouteTexts(run), ElementsAre("a=127.0.0.1:1"));
}

TEST_F(RouteDiscoveryTest, TheConnectFailureTextNamesTheTypedPort) {
  // 127.0.0.213 is an address no test listens on; the port is the default 6900 (hex).
  ProbeSettings settings;
  settings.server = "127.0.0.213";
  settings.stop_when = AfterGetRoutes(1);
  const ProbeRun run = Run(settings);

  EXPECT_THAT(run.lines, ::testing::Contains("connect() failed to \"127.0.0.213:6900\" "
                                             "WSAECONNREFUSED: the connection was refused "))
      << Dump(run);
  // The socket is freed with a trace, and only once.
  EXPECT_EQ(run.CountOf("GetRoute Finished \"127.0.0.213:6900\""), 1);
  EXPECT_EQ(LinesStarting(run, "Socket $").size(), 2u) << Dump(run);
}

TEST_F(RouteDiscoveryTest, ASendErrorAbortsAndEndsTheHost) {
  // The first address in shuffled order resets the connection as soon as it is made, so
  // the request meets a dead socket; the second would answer but must not be asked.
  const std::vector<std::string> order = ShuffledFrom(0, {"127.0.0.1", "127.0.0.2"});
  std::unique_ptr<ScriptedPeer> resetting;
  std::unique_ptr<sim::GatewaySimulator> other;
  for (int attempt = 0; attempt < 20 && !other; ++attempt) {
    resetting = std::make_unique<ScriptedPeer>([](ScriptedPeer&, int fd) { ScriptedPeer::Reset(fd); }, order[0]);
    auto candidate = std::make_unique<sim::GatewaySimulator>();
    sim::RouteServerConfig c = Answering({"a=127.0.0.1:1"});
    c.address = order[1];
    c.port = resetting->Port();
    try {
      candidate->AddRouteServer(c);
    } catch (const std::runtime_error&) {
      continue;
    }
    candidate->Start();
    other = std::move(candidate);
  }
  ASSERT_TRUE(other);
  FakeDns dns;
  dns.answers["routes.test"] = {"127.0.0.1", "127.0.0.2"};
  // Unscaled, so that the reset surely lands in the pause between connect and request.
  testing::SetTimeScale(1.0);
  ProbeSettings settings;
  settings.server = "routes.test";
  settings.port = resetting->Port();
  settings.resolver = dns.Resolver();
  settings.stop_when = AfterGetRoutes(1);
  const ProbeRun run = Run(settings);

  const int failed = run.IndexOf("SendRouteRequest:  send() failed WSAENOTSOCK: the socket number used isn't a socket");
  ASSERT_GE(failed, 0) << Dump(run);
  EXPECT_EQ(run.IndexOf("Error occurred - Abort getroutes", failed), failed + 1);
  EXPECT_TRUE(run.Has("Socket Closed (FD_CLOSE)"));
  EXPECT_EQ(other->ServerStats(0).connections, 0);
  EXPECT_THAT(run.routes, IsEmpty());
}

}  // namespace
}  // namespace zp::test
