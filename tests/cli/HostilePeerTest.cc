// zelvan-probe-cli against peers that misbehave, the way a monitoring system meets them:
// the run ends by its time-out whatever the network does, and text from the network
// never reaches the terminal raw. The peers run in this process on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GatewaySimulator.h"
#include "client/NeverAccepting.h"
#include "support/ProcessRunner.h"
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
  const auto store = std::filesystem::temp_directory_path() / ("zp-hostile-" + std::to_string(CurrentProcessId()) + ".db");
  Program cli(std::vector<std::string>{ZP_CLI_PROGRAM, "--selection", "1", "--server", "127.0.0.1", "--port",
                                       Hex(port), "--timeout", std::to_string(h.timeout), "--dns-store",
                                       store.string(), "--no-history"});
  const auto t0 = std::chrono::steady_clock::now();
  const int status = cli.Finish(h.timeout + 30);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::filesystem::remove(store);

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
                4, 3, {"PublicKey Request repeated 10 times - not repeated again"}, {}},
        Hostile{"escapes_in_the_route_list",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1"});
                  return Serve(sim, {.extra_lines = {"\x1B[2Jr9\x07=127.0.0.1:1"}});
                },
                30, 1, {"\\x1B[2Jr9\\x07=127.0.0.1:1"}, {}},
        Hostile{"route_entry_without_address_and_score_past_25",
                [](sim::GatewaySimulator& sim, std::vector<std::shared_ptr<void>>&) {
                  sim.AddRoute({.name = "r1", .profile_heartbeat_text = "1-300"});
                  sim.AddRoute({.name = "r2"});
                  return Serve(sim, {.extra_lines = {"noaddress"}});
                },
                30, 1, {"Route \"noaddress\" has no address - skipped", "   300\tr1="}, {"255.255.255.255"}}),
    [](const ::testing::TestParamInfo<Hostile>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace zp::test
