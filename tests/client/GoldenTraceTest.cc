// Whole runs against the simulated gateway, compared line by line with traces recorded
// earlier (tests/client/golden). They pin what the operator reads in the trace, so a
// change of structure cannot change it unnoticed. Real time, fixed loopback addresses and
// a fixed local time make the runs repeatable; what still varies from run to run (socket
// numbers, elapsed seconds, the countdown's seconds) is masked.
//
// ZP_RECORD_GOLDEN=1 in the environment writes the files instead of comparing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/LineByLineInvoker.h"
#include "GatewaySimulator.h"
#include "client/ProbeExpressClientThread.h"
#include "platform/LocalTime.h"
#include "platform/Random.h"
#include "platform/Tick.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

using sim::KeyReplyKind;
using sim::RouteConfig;

constexpr const char* kAddress = "127.0.91.1";

const std::regex& CountdownLine() {
  static const std::regex line(
      R"(^(.*?)( \d{1,2})? (Connect|TxLogin|RxLogin|TxDetail|RxHeartbeat|TxLogout|TxPublic|RxPublic|TxKeyPage|RxKeyPage|NextRoute|Complete|Error|Exit|Invalid)$)");
  return line;
}

std::string Mask(std::string line) {
  static const std::regex socket_number(R"(Socket \$[0-9A-F]{4} \(\d+\))");
  static const std::regex socket_paren(R"(Socket\(\d+\))");
  static const std::regex seconds(R"(\d+\.\d\dsec)");
  line = std::regex_replace(line, socket_number, "Socket $$#### (#)");
  line = std::regex_replace(line, socket_paren, "Socket(#)");
  line = std::regex_replace(line, seconds, "#.##sec");
  return std::regex_replace(line, CountdownLine(), "$1 # $3");
}

bool IsReceiveLine(const std::string& line) {
  return line == "Data Received (FD_READ)" || line.rfind("Rx", 0) == 0 || line.rfind("<Rx>", 0) == 0;
}

// Two things depend on the moment, not on the code: whether a reply is already there when
// the exchange's loop polls (its lines then come before the loop's countdown line, else
// after it), and when the countdown's second changes (the line is traced again, the same
// once masked). Canonical form: a countdown line goes before the receive lines it follows,
// and a countdown line equal to the last one is dropped.
std::vector<std::string> Canonical(const std::vector<std::string>& masked) {
  std::vector<std::string> out;
  std::string last_countdown;
  for (const std::string& line : masked) {
    if (!std::regex_match(line, CountdownLine())) {
      out.push_back(line);
      continue;
    }
    if (line == last_countdown) continue;
    last_countdown = line;
    std::size_t at = out.size();
    while (at > 0 && IsReceiveLine(out[at - 1])) --at;
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), line);
  }
  return out;
}

struct GoldenRun {
  std::vector<std::string> lines;
  std::string Text() const {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
  }
};

class GoldenTraceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ResetClock();
    testing::SetRandomSeed(0);
    testing::FixLocalTime(1796680800);  // a fixed date for the logout's free text
    dir_ = std::filesystem::temp_directory_path() / ("zp-golden-" + std::to_string(CurrentProcessId()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    sim_.Stop();
    testing::FixLocalTime(0);
    std::filesystem::remove_all(dir_);
  }

  std::string AddRoute(const std::string& name, std::uint16_t port, RouteConfig config = {}) {
    config.name = name;
    config.address = kAddress;
    config.port = port;
    return sim_.AddRoute(config);
  }

  // Runs one whole test; `stop_at` (when given) asks for a stop from inside the trace
  // hand-over of the matching line, so the lines after it are the same every time.
  // Each test has its own route-server port, so that ctest may run them side by side.
  GoldenRun Run(std::uint16_t server_port,
                const std::function<bool(const std::vector<std::string>&)>& stop_at = nullptr) {
    sim::RouteServerConfig server;
    server.address = kAddress;
    server.port = server_port;
    sim_.AddRouteServer(server);
    sim_.Start();

    GoldenRun run;
    // Line by line, so that a stop asked for on a line lands where the line was traced.
    auto invoker = std::make_shared<LineByLineInvoker>();
    ZExpressTcpClientThread* worker = nullptr;
    const std::thread::id creator = std::this_thread::get_id();
    ZTraceEvent handler = [&](const std::string&, const std::string& text) {
      auto take = [&] {
        run.lines.push_back(Mask(text));
        if (stop_at && worker != nullptr && stop_at(run.lines)) worker->Terminate();
      };
      if (std::this_thread::get_id() == creator)
        take();
      else
        invoker->RunAndWait(take);
    };
    auto owned = std::make_unique<ZExpressTcpClientThread>("ExpressT", handler, kAddress, server_port, "A", invoker);
    worker = owned.get();
    worker->SetDnsStorePath((dir_ / "registry.db").string());
    worker->SetOnErrorBox([&](const std::string& text) { run.lines.push_back("== box " + text); });
    worker->Resume();
    worker->WaitForStartup();
    Event never(Event::Reset::Manual);
    const auto t0 = std::chrono::steady_clock::now();
    while (worker->GetStateName() != "Halted" && !worker->Finished() &&
           std::chrono::steady_clock::now() - t0 < std::chrono::seconds(60))
      invoker->WaitServing(never, 20);
    worker->Terminate();
    worker->WaitFinished();
    run.lines.push_back("== result " + std::to_string(worker->GetResultCode()));
    for (const auto& r : worker->GetResultList())
      run.lines.push_back("== route " + r.text + " score " + std::to_string(r.score));
    worker = nullptr;
    owned.reset();
    invoker->Close();
    return run;
  }

  void Compare(GoldenRun run, const std::string& name) {
    run.lines = Canonical(run.lines);
    const std::filesystem::path file = std::filesystem::path(ZP_GOLDEN_DIR) / (name + ".trace");
    if (std::getenv("ZP_RECORD_GOLDEN") != nullptr) {
      std::ofstream(file, std::ios::binary) << run.Text();
      return;
    }
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << "no golden trace " << file;
    std::vector<std::string> want;
    for (std::string line; std::getline(in, line);) want.push_back(line);
    const std::size_t n = std::min(want.size(), run.lines.size());
    for (std::size_t i = 0; i < n; ++i)
      ASSERT_EQ(want[i], run.lines[i]) << "line " << i + 1 << " of " << name << "\n" << run.Text();
    ASSERT_EQ(want.size(), run.lines.size()) << name << "\n" << run.Text();
  }

  sim::GatewaySimulator sim_;
  std::filesystem::path dir_;
};

TEST_F(GoldenTraceTest, Healthy) {
  AddRoute("r1", 0x6A01);
  AddRoute("r2", 0x6A02);
  AddRoute("r3", 0x6A03);
  Compare(Run(0x6910), "healthy");
}

TEST_F(GoldenTraceTest, OneRouteRefusing) {
  AddRoute("r1", 0x6A11);
  AddRoute("r2", 0x6A12, {.refuse = true});
  AddRoute("r3", 0x6A13);
  Compare(Run(0x6920), "one_route_refusing");
}

// The first heartbeat of the key wait lists "1": the request goes again, and the answer
// to the first request arrives after that.
TEST_F(GoldenTraceTest, KeyAfterHeartbeatOne) {
  AddRoute("r1", 0x6A21, {.key_heartbeat_text = "1", .key_heartbeat_period_ms = 700, .key_delay_ms = 1000});
  Compare(Run(0x6930), "key_after_heartbeat_one");
}

// Every route refuses: profiling fails them all and key synchronisation circles the
// ring until the stop, asked for once the first route has refused it a second time (its
// third refusal in all), before the ring has used up its tries on each route.
// (Asked for before that connect, the stop would race the refusal: on Linux a refused
// loopback connect has ended before the wait begins, elsewhere not.)
TEST_F(GoldenTraceTest, AllRefusedThenStopped) {
  AddRoute("r1", 0x6A31, {.refuse = true});
  AddRoute("r2", 0x6A32, {.refuse = true});
  const std::string refused = "0: connect() failed to r1 " + std::string(kAddress) + " 6A31 (" +
                              std::to_string(0x6A31) + ") WSAECONNREFUSED: the connection was refused";
  Compare(Run(0x6940, [&](const std::vector<std::string>& lines) {
            return std::count(lines.begin(), lines.end(), refused) == 3;
          }),
          "all_refused_stopped");
}

}  // namespace
}  // namespace zp::test
