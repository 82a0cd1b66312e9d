#include "ScenarioParser.h"

#include <gtest/gtest.h>

namespace zp::sim {
namespace {

Scenario Parse(std::vector<std::string> args) {
  ScenarioParser parser;
  EXPECT_TRUE(parser.ParseArguments(args)) << parser.Error();
  return parser.Result();
}

std::string ErrorOf(std::vector<std::string> args) {
  ScenarioParser parser;
  EXPECT_FALSE(parser.ParseArguments(args));
  return parser.Error();
}

TEST(ScenarioParserTest, NoArgumentsServeTheDefaultGateway) {
  const Scenario s = Parse({});
  ASSERT_EQ(s.route_servers.size(), 1u);
  EXPECT_EQ(s.route_servers[0].address, "127.0.0.1");
  EXPECT_EQ(s.route_servers[0].port, 26880);
  ASSERT_EQ(s.routes.size(), 3u);
  EXPECT_EQ(s.routes[2].name, "r3");
  EXPECT_EQ(s.routes[0].key_reply, KeyReplyKind::Valid);
  EXPECT_FALSE(s.routes[0].refuse);
}

TEST(ScenarioParserTest, RouteFaultsTakeTheirParameters) {
  const Scenario s = Parse({"--route-server", "127.0.0.2:0 fault=bytewise,garbage gap=5",
                            "--route", "r1",
                            "--route", "r2 fault=login-refused status=17 text='Access denied' mode=P",
                            "--route=r3 fault=late-login delay=5100",
                            "--route", "r4 fault=heartbeat-text text=\"\"",
                            "--route", "r5 fault=reset at=key-wait port=40123 dc=AB",
                            "--route", "r6 fault=key-heartbeat-text,key-never text=21 period=500"});
  ASSERT_EQ(s.routes.size(), 6u);
  const RouteServerConfig& server = s.route_servers.at(0);
  EXPECT_EQ(server.address, "127.0.0.2");
  EXPECT_TRUE(server.bytewise && server.garbage_before);
  EXPECT_EQ(server.byte_gap_ms, 5u);

  const RouteConfig& refused = s.routes[1];
  EXPECT_EQ(refused.profile_login.kind, LoginReplyConfig::Kind::Refuse);
  EXPECT_EQ(refused.profile_login.status, 17);
  EXPECT_EQ(refused.profile_login.text, "Access denied");
  EXPECT_EQ(refused.key_login.kind, LoginReplyConfig::Kind::Accept);  // mode=P only

  EXPECT_EQ(s.routes[2].profile_login.delay_ms, 5100u);
  EXPECT_EQ(s.routes[2].key_login.delay_ms, 5100u);
  EXPECT_EQ(s.routes[3].profile_heartbeat_text, std::optional<std::string>(""));

  const RouteConfig& reset = s.routes[4];
  EXPECT_EQ(reset.close_stage, CloseStage::DuringKeyWait);
  EXPECT_TRUE(reset.close_with_reset);
  EXPECT_EQ(reset.port, 40123);
  EXPECT_EQ(reset.data_center, "AB");

  EXPECT_EQ(s.routes[5].key_heartbeat_text, "21");
  EXPECT_EQ(s.routes[5].key_reply, KeyReplyKind::Never);
  EXPECT_EQ(s.routes[5].key_heartbeat_period_ms, 500u);
}

TEST(ScenarioParserTest, BadArgumentsSayWhatIsWrong) {
  EXPECT_NE(ErrorOf({"--route", "r1 fault=bogus"}).find("unknown route fault 'bogus'"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "r1 status=17"}).find("'status' is used by none"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "r1 fault=login-refused status=0"}).find("status must be"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "r1 address=10.0.0.1"}).find("loopback"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route-server", "192.168.1.1:26880"}).find("loopback"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "r1 fault=silent text='open"}).find("unterminated"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "r1", "--route", "r1"}).find("given twice"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "a=b"}).find("name first"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "r1 port=70000"}).find("port must be"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route", "r1 fault=close at=later"}).find("at must be"), std::string::npos);
  EXPECT_NE(ErrorOf({"--duration", "soon"}).find("duration"), std::string::npos);
  EXPECT_NE(ErrorOf({"--route"}).find("needs an argument"), std::string::npos);
  EXPECT_NE(ErrorOf({"stray"}).find("unexpected argument"), std::string::npos);
  EXPECT_NE(ErrorOf({"--colour", "red"}).find("unknown directive"), std::string::npos);
}

TEST(ScenarioParserTest, ScenarioTextSkipsCommentsAndNamesTheFailingLine) {
  ScenarioParser parser;
  ASSERT_TRUE(parser.ParseText("# a scenario\n\n  route-server 127.0.0.1:0 fault=not-ok text='NO'\r\n"
                               "route r1 fault=key-status status=5\n"
                               "entry extra=127.0.0.9:1\n"
                               "duration 2.5\n",
                               "test.scn"))
      << parser.Error();
  const Scenario s = parser.Result();
  EXPECT_EQ(s.route_servers.at(0).status_line, "NO");
  EXPECT_EQ(s.route_servers.at(0).extra_lines, std::vector<std::string>{"extra=127.0.0.9:1"});
  EXPECT_EQ(s.routes.at(0).key_status, 5);
  EXPECT_DOUBLE_EQ(s.duration_seconds, 2.5);

  ScenarioParser bad;
  EXPECT_FALSE(bad.ParseText("route r1\n# fine\nroute r2 fault=nope\n", "bad.scn"));
  EXPECT_EQ(bad.Error().rfind("bad.scn:3: ", 0), 0u) << bad.Error();
  ScenarioParser nested;
  EXPECT_FALSE(nested.ParseText("scenario other.scn\n", "outer.scn"));
}

TEST(ScenarioParserTest, ControlCharactersNeverReachAText) {
  EXPECT_FALSE(ScenarioParser().ParseArguments({"--route", "r1 fault=heartbeat-text text='1\r\n2'"}));
  EXPECT_FALSE(ScenarioParser().ParseArguments({"--entry", std::string("a\x1c" "b")}));
}

}  // namespace
}  // namespace zp::sim
