// zelvan-probe-cli against peers that misbehave, the way a monitoring system meets them:
// the run ends by its time-out whatever the network does, and text from the network
// never reaches the terminal raw. The peers run in this process on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "GatewaySimulator.h"
#include "client/NeverAccepting.h"
#include "support/ProcessRunner.h"
#include "support/ScratchFolder.h"
#include "support/TestSockets.h"

namespace zp::test {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A route server that accepts every connection and sends garbage on it without end.
class GarbageServer {
 public:
  GarbageServer() {
    listener_ = RawListen(4, port_);
    thread_ = std::thread([this] { Serve(); });
  }
  ~GarbageServer() {
    stop_ = true;
    thread_.join();
    RawClose(listener_);
  }
  std::uint16_t Port() const { return port_; }

 private:
  void Serve() {
    const std::string junk(1024, 'g');
    while (!stop_) {
      // Short waits, so that the end is noticed without closing the socket under a
      // blocked accept (which not every system wakes).
      if (!RawWaitReadable(listener_, 20)) continue;
      const RawSocket fd = RawAccept(listener_);
      if (fd == kNoRawSocket) return;
      while (!stop_ && RawSend(fd, junk.data(), junk.size()) > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      RawClose(fd);
    }
  }
  RawSocket listener_ = kNoRawSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string Hex(unsigned port) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", port);
  return text;
}

struct Hostile {
  const char* name;
  // Starts the peers; returns the route server's port.
  std::function<std::uint16_t(sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>& keep)> peers;
  double timeout;
  int status;
  std::vector<std::string> out_has;     // on standard output
  std::vector<std::string> out_lacks;
};

std::ostream& operator<<(std::ostream& os, const Hostile& h) { return os << h.name; }

class HostilePeerTest : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostilePeerTest, EndsInTimeAndShowsNothingRaw) {
  const Hostile& h = GetParam();
  sim::GatewaySimulator sim;
  std::vector<std::shared_ptr<void>> keep;
  const std::uint16_t port = h.peers(sim, keep);
  const ScratchFolder folder("zp-hostile");
  Program cli(std::vector<std::string>{ZP_CLI_PROGRAM, "--selection", "1", "--server", "127.0.0.1", "--port",
                                       Hex(port), "--timeout", std::to_string(h.timeout), "--dns-store",
                                       folder.File("dns.db"), "--no-history"});
  const auto t0 = std::chrono::steady_clock::now();
  const int status = cli.Finish(h.timeout + 30);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

  EXPECT_EQ(status, h.status) << cli.err;
  // A generous bound: the time-out plus a second for the stop and some for a slow machine.
  EXPECT_LT(seconds, h.timeout + 5) << "ran past its time-out";
  if (h.status == 3) {
    EXPECT_THAT(cli.err, HasSubstr("Timed out after"));
  }
  for (const std::string& text : h.out_has) EXPECT_THAT(cli.out, HasSubstr(text));
  for (const std::string& text : h.out_lacks) EXPECT_THAT(cli.out, Not(HasSubstr(text)));
  EXPECT_THAT(cli.out, Not(HasSubstr("\x1B"))) << "an escape reached the terminal";
  EXPECT_THAT(cli.out, Not(HasSubstr("\x07")));
}

std::uint16_t Serve(sim::GatewaySimulator& sim, sim::RouteServerConfig server = {}) {
  server.port = 0;
  const std::uint16_t port = sim.AddRouteServer(server);
  sim.Start();
  return port;
}

INSTANTIATE_TEST_SUITE_P(
    Peers, HostilePeerTest,
    ::testing::Values(
        Hostile{"route_server_never_accepts",
                [](sim::GatewaySimulator&, std::vector<std::shared_ptr<void>>& keep) {
                  auto hole = std::make_shared<NeverAccepting>();
                  keep.push_back(hole);
                  return hole->Port();
                },
                // The connect under way is given up as a cancelled call.
                2, 3, {"GetRoute Start", "WSAEINTR"}, {"Connected to"}},
        Hostile{"route_never_accepts",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>& keep) {
                  auto hole = std::make_shared<NeverAccepting>();
                  keep.push_back(hole);
                  return Serve(sim, {.list_routes = false,
                                     .extra_lines = {"r1=127.0.0.1:" + std::to_string(hole->Port())}});
                },
                2, 3, {"0: connect via route r1", "WSAEINTR"}, {"r1 Profiling Complete"}},
        Hostile{"route_server_sends_garbage_without_end",
                [](sim::GatewaySimulator&, std::vector<std::shared_ptr<void>>& keep) {
                  auto server = std::make_shared<GarbageServer>();
                  keep.push_back(server);
                  return server->Port();
                },
                3, 3, {"Garbage Found"}, {}},
        Hostile{"key_request_answered_by_a_heartbeat_storm",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1", .key_heartbeat_text = "1", .key_heartbeat_period_ms = 20,
                                .key_reply = sim::KeyReplyKind::Never});
                  return Serve(sim);
                },
                // Asked again after every heartbeat until the time-out stops the test.
                4, 3, {"<Tx+>"}, {"not repeated again"}},
        Hostile{"escapes_in_the_route_list",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1"});
                  return Serve(sim, {.extra_lines = {"\x1B[2Jr9\x07=127.0.0.1:1"}});
                },
                30, 1, {"\\x1B[2Jr9\\x07=127.0.0.1:1"}, {}},
        // U+202E, the right-to-left override, would show "r9" as "9r" and the rest of the
        // line backwards.
        Hostile{"direction_controls_in_the_route_list",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1"});
                  return Serve(sim, {.extra_lines = {"r\xE2\x80\xAE" "9\xE2\x81\xA6=127.0.0.1:1"}});
                },
                30, 1, {"r\\xE2\\x80\\xAE9\\xE2\\x81\\xA6=127.0.0.1:1"}, {"\xE2\x80\xAE", "\xE2\x81\xA6"}},
        Hostile{"route_entry_without_address_and_score_past_25",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1", .profile_heartbeat_text = "1-300"});
                  sim.AddRoute({.name = "r2"});
                  return Serve(sim, {.extra_lines = {"noaddress"}});
                },
                30, 1, {"Route \"noaddress\" has no address - skipped", "   300\tr1="}, {"255.255.255.255"}},
        // Read as it stands, the range would be empty and the route perfect.
        Hostile{"heartbeat_naming_a_record_past_32_bits",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1", .profile_heartbeat_text = "1-99999999999"});
                  sim.AddRoute({.name = "r2"});
                  return Serve(sim);
                },
                30, 1, {"    25\tr1=", "\tthe heartbeat listed records that were never sent\n"}, {}},
        // Cut to 16 bits, 117377 would be 51841: another port than the one shown.
        Hostile{"route_entry_port_past_65535",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1"});
                  return Serve(sim, {.extra_lines = {"r9=127.0.0.1:117377"}});
                },
                30, 1,
                {"Route \"r9=127.0.0.1:117377\" has port 117377, not 1 to 65535 - skipped",
                 "\tr9=127.0.0.1:117377\t\u2014\tthe route entry's port is not 1 to 65535\n"},
                {"connect via route r9", "(51841)"}}),
    [](const ::testing::TestParamInfo<Hostile>& param) { return std::string(param.param.name); });

// Every byte of a line is printable ASCII or part of a valid UTF-8 sequence that is no
// control character and no direction control.
bool PrintableLine(const std::string& line) {
  for (std::size_t i = 0; i < line.size();) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c >= 0x20 && c < 0x7F) {
      ++i;
      continue;
    }
    std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || i + n > line.size()) return false;
    std::uint32_t code = c & (0x3F >> (n - 1));
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<unsigned char>(line[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      code = (code << 6) | (b & 0x3F);
    }
    if (code < (n == 2 ? 0xA0u : n == 3 ? 0x800u : 0x10000u) || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
      return false;
    // The direction controls act on the line as a control character would.
    if (code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
        (code >= 0x2066 && code <= 0x2069))
      return false;
    i += n;
  }
  return true;
}

struct MonitoringCase {
  const char* name;
  std::function<std::uint16_t(sim::GatewaySimulator& sim)> peers;  // returns the route server's port
  int status;
  std::vector<std::string> shows;  // texts the lines hold, escaped
};

std::ostream& operator<<(std::ostream& os, const MonitoringCase& c) { return os << c.name; }

class MonitoringLinesTest : public ::testing::TestWithParam<MonitoringCase> {};

// Network text in the monitoring lines: the first line has its one "|" before the
// perfdata and the others none, and no line holds a control character, a C1 control or
// bytes that are not UTF-8.
TEST_P(MonitoringLinesTest, EveryLineKeepsToThePluginRules) {
  const MonitoringCase& c = GetParam();
  sim::GatewaySimulator sim;
  const std::uint16_t port = c.peers(sim);
  const ScratchFolder folder("zp-lines");
  Program cli({ZP_CLI_PROGRAM, "--selection", "1", "--server", "127.0.0.1", "--port", Hex(port), "--timeout", "60",
               "--dns-store", folder.File("dns.db"), "--no-history", "--monitoring"});
  EXPECT_EQ(cli.Finish(90), c.status) << cli.out << cli.err;
  ASSERT_FALSE(cli.out.empty());
  EXPECT_EQ(cli.out.back(), '\n');
  std::istringstream in(cli.out);
  int n = 0;
  for (std::string line; std::getline(in, line); ++n) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '|'), n == 0 ? 1 : 0) << line;
    EXPECT_TRUE(PrintableLine(line)) << line;
  }
  EXPECT_GE(n, 2);
  for (const std::string& text : c.shows) EXPECT_THAT(cli.out, HasSubstr(text));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MonitoringLinesTest,
    ::testing::Values(
        // One entry reaches a real route under a hostile name; the other has no address,
        // so it fails and has a line of its own.
        MonitoringCase{"route_names",
                       [](sim::GatewaySimulator& sim) {
                         const std::string r1 = sim.AddRoute({.name = "r1"});
                         return Serve(sim, {.list_routes = false,
                                            .extra_lines = {"p|q\x9B\xE2\x80\xAE=127.0.0.1:" +
                                                                r1.substr(r1.rfind(':') + 1),
                                                            "it's\xC2\x9B\xFF\x7F\t|x=1;2;3=127.0.0.1:1"}});
                       },
                       1,
                       {"| 'p\\x7Cq\\x9B\\xE2\\x80\\xAE'=0;;24;0;25 'it''s\\xC2\\x9B\\xFF\\x7F\\x09\\x7Cx'=25;;24;0;25 elapsed=",
                        "\nit's\\xC2\\x9B\\xFF\\x7F\\x09\\x7Cx=1;2;3=127.0.0.1:1 score 25: the route entry has no "
                        "address\n"}},
        // The route's words in a route line, the gateway's in the status line.
        MonitoringCase{"refusal_texts",
                       [](sim::GatewaySimulator& sim) {
                         sim.AddRoute({.name = "r1",
                                       .profile_login = {.kind = sim::LoginReplyConfig::Kind::Refuse,
                                                         .status = 5,
                                                         .text = "no | way \x9B fake | x=1"},
                                       .key_login = {.kind = sim::LoginReplyConfig::Kind::Refuse,
                                                     .status = 6,
                                                     .text = "Keys | locked\xC2\x9B\x1B[2J"}});
                         return Serve(sim);
                       },
                       2,
                       {"public key not received: Keys \\x7C locked\\xC2\\x9B\\x1B[2J | 'r1'=25;;24;0;25 ",
                        ": login refused: no \\x7C way \\x9B fake \\x7C x=1\n"}}),
    [](const ::testing::TestParamInfo<MonitoringCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace zp::test
