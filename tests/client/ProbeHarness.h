#pragma once
// Runs whole probe tests in-process, on this thread as the creator, against the
// simulated gateway on loopback, with time scaled so that the probe's long waits pass
// quickly. Each test gets its own DNS store file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/LineByLineInvoker.h"
#include "client/ProbeExpressClientThread.h"
#include "framework/MemTrack.h"
#include "platform/Random.h"
#include "platform/Tick.h"
#include "support/ProcessRunner.h"

namespace zp::test {

struct ProbeRun {
  std::vector<std::string> lines;  // trace texts, in order, without name and time
  std::vector<std::uint32_t> ticks;  // the (scaled) tick at which each line arrived
  // The worker's status text as it changed, sampled whenever a trace line arrives.
  std::vector<std::string> statuses;
  std::int32_t result_code = -1;
  RouteList routes;
  std::string end_state;   // state name when collected
  std::string box_text;    // the fatal-error box, if one was shown
  bool halted = false;     // reached "Halted" (rather than being stopped)
  double real_seconds = 0;

  bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  // Index of the first line equal to `line` at or after `from`, or -1.
  int IndexOf(const std::string& line, int from = 0) const {
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < lines.size(); ++i)
      if (lines[i] == line) return static_cast<int>(i);
    return -1;
  }
  int CountOf(const std::string& line) const {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
  }
  bool HasPrefix(const std::string& prefix) const {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
  }
  std::int32_t ScoreOf(const std::string& entry) const {
    for (const auto& r : routes)
      if (r.text == entry) return r.score;
    return -1;
  }
};

struct ProbeSettings {
  std::string server = "127.0.0.1";
  std::int32_t port = 0x6900;
  std::string route_code = "A";
  HostResolver resolver;            // empty: the system resolver
  std::string store_path;           // empty: the harness's own file
  double real_limit_seconds = 20;   // then a stop is requested
  // Asked after every served hand-over; true requests a stop (e.g. once a line appears).
  std::function<bool(const ProbeRun&)> stop_when;
  // Builds the worker instead of a plain ZExpressTcpClientThread (e.g. a test subclass);
  // it gets the harness's name, trace handler, settings and invoker.
  std::function<std::unique_ptr<ZExpressTcpClientThread>(const std::string& name, ZTraceEvent handler,
                                                         const ProbeSettings& settings,
                                                         std::shared_ptr<Invoker> invoker)>
      make_worker;
};

class ProbeHarness : public ::testing::Test {
 protected:
  static constexpr double kTimeScale = 20.0;

  void SetUp() override {
    StartTracking();
    testing::SetRandomSeed(0);
    testing::SetTimeScale(kTimeScale);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() /
           (std::string("zp-probe-") + std::to_string(CurrentProcessId()) + "-" + info->test_suite_name() + "-" + info->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    testing::ResetClock();
    std::filesystem::remove_all(dir_);
  }

  std::string StorePath() const { return (dir_ / "registry.db").string(); }

  ProbeRun Run(const ProbeSettings& settings) {
    ProbeRun run;
    // Line by line, so that a stop asked for on a line lands where the line was traced.
    auto invoker = std::make_shared<LineByLineInvoker>();
    ZExpressTcpClientThread* current = nullptr;  // set once built; read on this thread only
    ZTraceEvent handler = [&run, &current, invoker](const std::string&, const std::string& text) {
      // Packets trace on the worker thread: pass those lines over like the window does.
      invoker->RunAndWait([&] {
        run.lines.push_back(text);
        run.ticks.push_back(GetTickCount());
        if (current == nullptr) return;
        const std::string status = current->GetStatusText(0);
        if (run.statuses.empty() ? !status.empty() : run.statuses.back() != status) run.statuses.push_back(status);
      });
    };
    std::unique_ptr<ZExpressTcpClientThread> worker =
        settings.make_worker ? settings.make_worker("ExpressT", handler, settings, invoker)
                             : std::make_unique<ZExpressTcpClientThread>("ExpressT", handler, settings.server,
                                                                         settings.port, settings.route_code, invoker);
    current = worker.get();
    worker->SetDnsStorePath(settings.store_path.empty() ? StorePath() : settings.store_path);
    if (settings.resolver) worker->SetHostResolver(settings.resolver);
    worker->SetOnErrorBox([&run](const std::string& text) { run.box_text = text; });
    const auto t0 = std::chrono::steady_clock::now();
    worker->Resume();
    worker->WaitForStartup();
    Event never(Event::Reset::Manual);
    for (;;) {
      if (worker->GetStateName() == "Halted") {
        run.halted = true;
        break;
      }
      if (worker->Finished()) break;
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (elapsed > settings.real_limit_seconds || (settings.stop_when && settings.stop_when(run))) break;
      invoker->WaitServing(never, 20);
    }
    run.end_state = worker->GetStateName();
    worker->Terminate();
    worker->WaitFinished();
    run.result_code = worker->GetResultCode();
    run.routes = worker->GetResultList();
    run.real_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    current = nullptr;
    worker.reset();
    invoker->Close();
    // ZP_TRACE=1 in the environment prints every run's trace, for working on a test.
    if (std::getenv("ZP_TRACE") != nullptr) std::fprintf(stderr, "%s", Dump(run).c_str());
    return run;
  }

  // For failure messages: the whole trace.
  static std::string Dump(const ProbeRun& run) {
    std::string all;
    for (const auto& l : run.lines) all += l + "\n";
    return all;
  }

  std::filesystem::path dir_;
};

}  // namespace zp::test
