// The simulated gateway routes, driven by a plain loopback client.
#include <gtest/gtest.h>


#include "GatewaySimulator.h"
#include "apibuf/CoreApiBuf.h"
#include "platform/Tick.h"
#include "sim/LoopbackClient.h"

namespace zp::sim {
namespace {

using testing::DataText;
using testing::LoopbackClient;

class GatewayRouteTest : public ::testing::Test {
 protected:
  void TearDown() override {
    sim_.Stop();
    zp::testing::ResetClock();
  }

  // Starts the simulator with one route and returns its port.
  std::uint16_t Serve(RouteConfig config) {
    if (config.name.empty()) config.name = "r1";
    const std::string entry = sim_.AddRoute(config);
    sim_.Start();
    return static_cast<std::uint16_t>(std::stoi(entry.substr(entry.rfind(':') + 1)));
  }

  // Logs in and returns the reply (which must come).
  ZExpBuf Login(LoopbackClient& client, std::int32_t sequence, char mode) {
    ZExpBuf p;
    testing::MakeLogin(p, sequence, mode);
    client.Send(p);
    ZExpBuf reply;
    EXPECT_TRUE(client.Receive(reply));
    return reply;
  }

  void SendDetails(LoopbackClient& client, std::int32_t sequence, std::int32_t circuit,
                   const std::vector<int>& skip = {}) {
    ZExpBuf p;
    for (int i = 1; i <= 25; ++i)
      if (std::find(skip.begin(), skip.end(), i) == skip.end()) {
        testing::MakeDetail(p, sequence, circuit, i);
        client.Send(p);
      }
  }

  GatewaySimulator sim_;
};

TEST_F(GatewayRouteTest, ProfileExchangeGetsLoginReplyThenEmptyHeartbeat) {
  LoopbackClient client(Serve({}));
  ASSERT_TRUE(client.Connected());
  const ZExpBuf reply = Login(client, 42, 'P');
  EXPECT_EQ(reply.PacketType, 'L');
  EXPECT_EQ(reply.DataCenterId.View(), "DC01");
  EXPECT_GE(reply.CircuitNumber, 1000);
  const ZLoginBody body = reply.ParseLogin();
  EXPECT_EQ(body.Sequence, 42);
  EXPECT_EQ(body.Mode, 'P');
  EXPECT_EQ(body.RecordCount, 25);
  EXPECT_EQ(body.Status, 0);

  SendDetails(client, 42, reply.CircuitNumber);
  ZExpBuf heartbeat;
  ASSERT_TRUE(client.Receive(heartbeat));
  EXPECT_EQ(heartbeat.PacketType, 'H');
  EXPECT_EQ(heartbeat.ParseSequenceText().Sequence, 42);
  EXPECT_EQ(heartbeat.ParseSequenceText().FreeText, "");

  ZExpBuf logout;
  logout.BuildLogout(42, "12/07 10:00:00");
  client.Send(logout);
  ASSERT_TRUE(testing::Eventually([&] { return sim_.Stats("r1").logouts == 1; }));
  const RouteStats s = sim_.Stats("r1");
  EXPECT_EQ(s.profile_logins, 1);
  EXPECT_EQ(s.details, 25);
  EXPECT_EQ(s.logouts, 1);
  EXPECT_EQ(s.last_login_sequence, 42);
  EXPECT_EQ(s.last_circuit_number, reply.CircuitNumber);
}

TEST_F(GatewayRouteTest, MissingDetailsAreListedAsRangesAfterTheQuietTime) {
  RouteConfig config;
  config.detail_quiet_ms = 300;
  LoopbackClient client(Serve(config));
  const ZExpBuf reply = Login(client, 7, 'P');
  SendDetails(client, 7, reply.CircuitNumber, {3, 7, 8, 25});
  ZExpBuf heartbeat;
  ASSERT_TRUE(client.Receive(heartbeat));
  EXPECT_EQ(heartbeat.ParseSequenceText().FreeText, "3,7-8,25");
}

TEST_F(GatewayRouteTest, EachLoginGetsItsOwnCircuitNumber) {
  const std::uint16_t port = Serve({});
  LoopbackClient a(port), b(port);
  const std::int32_t first = Login(a, 1, 'P').CircuitNumber;
  const std::int32_t second = Login(b, 2, 'K').CircuitNumber;
  const std::int32_t third = Login(a, 3, 'P').CircuitNumber;
  EXPECT_NE(first, second);
  EXPECT_NE(second, third);
  EXPECT_NE(first, third);
}

TEST_F(GatewayRouteTest, KeyExchangeGetsHeartbeatsThenAParsableKey) {
  RouteConfig config;
  config.key_heartbeat_period_ms = 40;
  config.key_delay_ms = 300;
  LoopbackClient client(Serve(config));
  const ZExpBuf login = Login(client, 9, 'K');
  ASSERT_EQ(login.ParseLogin().Status, 0);
  ZExpBuf request;
  request.DataCenterId = login.DataCenterId;
  request.CircuitNumber = login.CircuitNumber;
  testing::MakeKeyRequest(request);
  client.Send(request);

  int heartbeats = 0;
  ZExpBuf p;
  // Bounded: heartbeats go on until the logout, so a missing key must not loop for ever.
  while (heartbeats < 50 && client.Receive(p) && p.PacketType == 'H') {
    EXPECT_EQ(p.ParseSequenceText().FreeText.find('1'), std::string::npos);
    ++heartbeats;
  }
  EXPECT_GE(heartbeats, 2);
  ASSERT_EQ(p.PacketType, 'P');
  const ZStatusReply status = p.ParseStatusReply();
  EXPECT_EQ(status.Sequence, 9);
  EXPECT_EQ(status.Status, 0);
  EXPECT_EQ(p.TextView(), "//0009// P KEYS");

  TCoreApiBuf record;
  record.Parse(DataText(p));
  EXPECT_EQ(record.ErrorIndicator, "N");
  EXPECT_EQ(record.ErrorCode, 0);
  EXPECT_EQ(record.S017_01.size(), 128u);
  EXPECT_EQ(sim_.Stats("r1").key_requests, 1);
}

TEST_F(GatewayRouteTest, KeyRepliesForTheFailureRows) {
  struct Case {
    const char* what;
    KeyReplyKind kind;
    int key_length;
    std::size_t data_length;  // 0: any
    std::size_t key_seen;
    const char* indicator;
    std::int32_t status;
  };
  const Case cases[] = {
      {"short key", KeyReplyKind::Valid, 99, 0, 99, "N", 0},
      {"100 characters", KeyReplyKind::Valid, 100, 0, 100, "N", 0},
      {"largest", KeyReplyKind::Largest, 128, 5320, 128, "N", 0},
      {"error indicator", KeyReplyKind::ErrorIndicator, 128, 0, 0, "Y", 0},
      {"status", KeyReplyKind::Status, 128, 0, 0, "", 23},
  };
  std::vector<std::uint16_t> ports;
  for (const Case& c : cases) {
    RouteConfig config;
    config.name = "r" + std::to_string(ports.size());
    config.key_reply = c.kind;
    config.key_length = c.key_length;
    config.key_status = 23;
    config.key_status_text = "No key for you";
    config.key_error_text = "Key store offline";
    const std::string entry = sim_.AddRoute(config);
    ports.push_back(static_cast<std::uint16_t>(std::stoi(entry.substr(entry.rfind(':') + 1))));
  }
  sim_.Start();
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    LoopbackClient client(ports[i]);
    Login(client, 5, 'K');
    ZExpBuf request;
    testing::MakeKeyRequest(request);
    client.Send(request);
    ZExpBuf reply;
    ASSERT_TRUE(client.Receive(reply));
    ASSERT_EQ(reply.PacketType, 'P');
    EXPECT_EQ(reply.ParseStatusReply().Status, c.status);
    if (c.status != 0) {
      EXPECT_EQ(reply.ParseStatusReply().StatusText, "No key for you");
      continue;
    }
    if (c.data_length) {
      EXPECT_EQ(static_cast<std::size_t>(reply.GetDataLength()), c.data_length);
    }
    TCoreApiBuf record;
    record.Parse(DataText(reply));
    EXPECT_EQ(record.ErrorIndicator, c.indicator);
    EXPECT_EQ(record.S017_01.size(), c.key_seen);
    if (c.kind == KeyReplyKind::ErrorIndicator) {
      EXPECT_EQ(record.ErrorText, "Key store offline");
    }
  }
}

TEST_F(GatewayRouteTest, RefusedRouteHasNoListener) {
  RouteConfig config;
  config.refuse = true;
  LoopbackClient client(Serve(config));
  EXPECT_FALSE(client.Connected());
  EXPECT_EQ(client.ConnectError(), test::RefusedError());
}

TEST_F(GatewayRouteTest, SilentRouteCountsLoginsButNeverAnswers) {
  RouteConfig config;
  config.silent = true;
  LoopbackClient client(Serve(config));
  ZExpBuf p;
  for (int seq = 1; seq <= 3; ++seq) {
    testing::MakeLogin(p, seq, 'P');
    client.Send(p);
  }
  EXPECT_TRUE(testing::Eventually([&] { return sim_.Stats("r1").logins == 3; }));
  EXPECT_FALSE(client.Receive(p, 200));
  EXPECT_TRUE(client.Raw().empty());
}

TEST_F(GatewayRouteTest, RefusedLoginCarriesStatusAndText) {
  RouteConfig config;
  config.profile_login.kind = LoginReplyConfig::Kind::Refuse;
  config.profile_login.status = 17;
  config.profile_login.text = "Access denied";
  const std::uint16_t port = Serve(config);
  LoopbackClient profile(port), key(port);
  const ZLoginBody refused = Login(profile, 1, 'P').ParseLogin();
  EXPECT_EQ(refused.Status, 17);
  EXPECT_EQ(refused.StatusText, "Access denied");
  // The other mode keeps its healthy answer.
  EXPECT_EQ(Login(key, 2, 'K').ParseLogin().Status, 0);
}

TEST_F(GatewayRouteTest, LateLoginFollowsTheScaledTick) {
  zp::testing::SetTimeScale(50);
  RouteConfig config;
  config.profile_login.delay_ms = 5100;  // about 100 ms of real time
  LoopbackClient client(Serve(config));
  ZExpBuf p;
  testing::MakeLogin(p, 1, 'P');
  const std::uint32_t sent = GetTickCount();
  client.Send(p);
  ASSERT_TRUE(client.Receive(p, 3000));
  EXPECT_GE(static_cast<std::int32_t>(GetTickCount() - sent), 5100);
}

TEST_F(GatewayRouteTest, ResetAfterLoginReachesTheClientAsAReset) {
  if (!test::CloseCanReset()) GTEST_SKIP() << "this system closes in order even when asked to reset";
  RouteConfig config;
  config.close_stage = CloseStage::AfterLogin;
  config.close_with_reset = true;
  LoopbackClient client(Serve(config));
  ZExpBuf reply = Login(client, 1, 'P');
  EXPECT_EQ(reply.PacketType, 'L');
  EXPECT_EQ(client.WaitClosed(), test::ResetError());
}

TEST_F(GatewayRouteTest, CloseDuringKeyWaitComesAfterOneHeartbeat) {
  RouteConfig config;
  config.close_stage = CloseStage::DuringKeyWait;
  config.key_heartbeat_period_ms = 30;
  LoopbackClient client(Serve(config));
  Login(client, 1, 'K');
  ZExpBuf p;
  testing::MakeKeyRequest(p);
  client.Send(p);
  ASSERT_TRUE(client.Receive(p));
  EXPECT_EQ(p.PacketType, 'H');
  EXPECT_EQ(client.WaitClosed(), 0);
}

TEST_F(GatewayRouteTest, GarbageFloodIsDroppedAndTheRouteKeepsServing) {
  const std::uint16_t port = Serve({});
  {
    LoopbackClient flood(port);
    const std::string junk(256 * 1024, 'x');
    flood.SendRaw(junk);
    EXPECT_NE(flood.WaitClosed(), -1);
  }
  // A packet announcing far more than any legal one, then more bytes than allowed.
  {
    LoopbackClient liar(port);
    liar.SendRaw(std::string("\x01Sa999999L", 10) + std::string(100 * 1024, 'y'));
    EXPECT_NE(liar.WaitClosed(), -1);
  }
  LoopbackClient client(port);
  EXPECT_EQ(Login(client, 1, 'P').PacketType, 'L');
}

}  // namespace
}  // namespace zp::sim
