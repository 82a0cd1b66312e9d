// The simulated route servers, driven by a plain loopback client.
#include <gtest/gtest.h>

#include "GatewaySimulator.h"
#include "sim/LoopbackClient.h"

namespace zp::sim {
namespace {

using testing::DataText;
using testing::LoopbackClient;

class RouteServerTest : public ::testing::Test {
 protected:
  // A route server with `config` (on an ephemeral port) and two routes; returns its port.
  std::uint16_t Serve(RouteServerConfig config) {
    config.port = 0;
    const std::uint16_t port = sim_.AddRouteServer(config);
    entries_ = {sim_.AddRoute({.name = "alpha"}), sim_.AddRoute({.name = "beta"})};
    sim_.Start();
    return port;
  }

  std::string ExpectedList() const { return "OK\r\n" + entries_[0] + "\r\n" + entries_[1]; }

  static void Request(LoopbackClient& client) {
    ZExpBuf p;
    testing::MakeRoutesRequest(p);
    client.Send(p);
  }

  GatewaySimulator sim_;
  std::vector<std::string> entries_;
};

TEST_F(RouteServerTest, RouteRequestGetsTheOkList) {
  RouteServerConfig config;
  config.extra_lines = {"far=10.1.2.3:6901"};
  LoopbackClient client(Serve(config));
  Request(client);
  ZExpBuf answer;
  ASSERT_TRUE(client.Receive(answer));
  EXPECT_EQ(answer.PacketType, 'R');
  EXPECT_EQ(answer.ClientSequence, 1);
  EXPECT_EQ(DataText(answer), ExpectedList() + "\r\nfar=10.1.2.3:6901");
  EXPECT_EQ(sim_.ServerStats(0).requests, 1);
}

TEST_F(RouteServerTest, SilentServerNeverAnswers) {
  RouteServerConfig config;
  config.silent = true;
  LoopbackClient client(Serve(config));
  Request(client);
  ZExpBuf answer;
  EXPECT_TRUE(testing::Eventually([&] { return sim_.ServerStats(0).requests == 1; }));
  EXPECT_FALSE(client.Receive(answer, 200));
}

TEST_F(RouteServerTest, BytewiseAnswerArrivesInManyPieces) {
  RouteServerConfig config;
  config.bytewise = true;
  config.byte_gap_ms = 3;
  LoopbackClient client(Serve(config));
  Request(client);
  ZExpBuf answer;
  ASSERT_TRUE(client.Receive(answer));
  EXPECT_EQ(DataText(answer), ExpectedList());
  // Single-byte sends 3 ms apart are not coalesced into a few reads.
  EXPECT_GT(client.Reads(), 5);
}

TEST_F(RouteServerTest, GarbageBeforeTheAnswerIsNoPacket) {
  RouteServerConfig config;
  config.garbage_before = true;
  LoopbackClient client(Serve(config));
  Request(client);
  ZExpBuf answer;
  ASSERT_TRUE(client.Receive(answer));
  EXPECT_EQ(client.Raw().rfind("GARBAGE", 0), 0u);
  EXPECT_EQ(DataText(answer), ExpectedList());
}

TEST_F(RouteServerTest, HeartbeatFirstAndTwiceComeInOneWrite) {
  RouteServerConfig config;
  config.heartbeat_first = true;
  config.twice = true;
  LoopbackClient client(Serve(config));
  Request(client);
  ZExpBuf p;
  ASSERT_TRUE(client.Receive(p));
  EXPECT_EQ(p.PacketType, 'H');
  EXPECT_EQ(p.GetDataLength(), 0);
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(client.Receive(p));
    EXPECT_EQ(DataText(p), ExpectedList());
  }
}

TEST_F(RouteServerTest, LargestAnswerFillsBothPartsAndStillListsTheRoutes) {
  RouteServerConfig config;
  config.largest = true;
  LoopbackClient client(Serve(config));
  Request(client);
  ZExpBuf answer;
  ASSERT_TRUE(client.Receive(answer));
  EXPECT_EQ(client.Raw().size(), static_cast<std::size_t>(ZExpBuf::MaxPacketLength));
  EXPECT_EQ(answer.GetTextLength(), ZExpBuf::MaxTextPart);
  const std::string data = DataText(answer);
  ASSERT_EQ(data.size(), static_cast<std::size_t>(ZExpBuf::MaxDataPart));
  EXPECT_EQ(data.rfind("OK", 0), 0u);
  // The padding stays on the status line: the lines after it are exactly the routes.
  EXPECT_EQ(data.substr(data.find("\r\n")), "\r\n" + entries_[0] + "\r\n" + entries_[1]);
}

TEST_F(RouteServerTest, NotOkStatusLineAndClosingFaults) {
  RouteServerConfig not_ok, closing, resetting;
  not_ok.port = closing.port = resetting.port = 0;
  not_ok.status_line = "ERR busy";
  closing.close_instead = true;
  resetting.reset_instead = true;
  const std::uint16_t p1 = sim_.AddRouteServer(not_ok);
  const std::uint16_t p2 = sim_.AddRouteServer(closing);
  const std::uint16_t p3 = sim_.AddRouteServer(resetting);
  sim_.Start();

  LoopbackClient a(p1), b(p2), c(p3);
  for (LoopbackClient* client : {&a, &b, &c}) Request(*client);
  ZExpBuf answer;
  ASSERT_TRUE(a.Receive(answer));
  EXPECT_EQ(DataText(answer), "ERR busy");
  EXPECT_EQ(b.WaitClosed(), 0);
  EXPECT_TRUE(b.Raw().empty());
  if (!test::CloseCanReset()) GTEST_SKIP() << "this system closes in order even when asked to reset";
  EXPECT_EQ(c.WaitClosed(), test::ResetError());
}

// The probe reads one answer: a list that does not fit is refused at Start, saying how
// many entries fit, rather than cut short without a word. A list that fills the data
// part to its last byte is served whole.
TEST_F(RouteServerTest, AListThatDoesNotFitInOneAnswerIsRefused) {
  // "OK", 531 lines of CR LF and 8 characters and one of CR LF and 6: exactly the 5320
  // bytes of the data part.
  std::vector<std::string> full(531, "x=1.2.3.");
  full.push_back("y=1.2.");
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    const char* refusal;  // empty: served
  };
  std::vector<std::string> one_more = full;
  one_more.back() += "4";
  const Case cases[] = {
      {"to the last byte", full, ""},
      {"one byte over", one_more, "531 of its 532 route entries fit"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    GatewaySimulator sim;
    const std::uint16_t port = sim.AddRouteServer({.port = 0, .list_routes = false, .extra_lines = c.lines});
    if (*c.refusal != '\0') {
      try {
        sim.Start();
        ADD_FAILURE() << "started";
      } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
      }
      EXPECT_FALSE(sim.Running());
      continue;
    }
    sim.Start();
    LoopbackClient client(port);
    Request(client);
    ZExpBuf answer;
    ASSERT_TRUE(client.Receive(answer));
    const std::string data = DataText(answer);
    EXPECT_EQ(data.size(), static_cast<std::size_t>(ZExpBuf::MaxDataPart));
    EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 532);
  }
  // With the simulator's own routes the count is of routes.
  GatewaySimulator many;
  many.AddRouteServer({.port = 0});
  for (int i = 0; i < 400; ++i) many.AddRoute({.name = "r" + std::to_string(i)});
  EXPECT_THROW(many.Start(), std::invalid_argument);
}

TEST_F(RouteServerTest, ServesAHundredRoutesAtOnce) {
  const std::uint16_t server = sim_.AddRouteServer({.port = 0});
  std::vector<std::uint16_t> ports;
  for (int i = 0; i < 100; ++i) {
    const std::string entry = sim_.AddRoute({.name = "r" + std::to_string(i)});
    ports.push_back(static_cast<std::uint16_t>(std::stoi(entry.substr(entry.rfind(':') + 1))));
  }
  sim_.Start();
  std::vector<std::unique_ptr<LoopbackClient>> clients;
  ZExpBuf p;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    clients.push_back(std::make_unique<LoopbackClient>(ports[i]));
    testing::MakeLogin(p, static_cast<std::int32_t>(i + 1), 'P');
    clients.back()->Send(p);
  }
  for (std::size_t i = 0; i < clients.size(); ++i) {
    ASSERT_TRUE(clients[i]->Receive(p)) << i;
    EXPECT_EQ(p.ParseLogin().Sequence, static_cast<std::int32_t>(i + 1));
  }
  LoopbackClient routes(server);
  Request(routes);
  ASSERT_TRUE(routes.Receive(p));
  const std::string data = DataText(p);
  EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), 100);
}

}  // namespace
}  // namespace zp::sim
