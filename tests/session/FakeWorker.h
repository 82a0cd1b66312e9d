#pragma once
// A probe worker whose network operations are scripts, so that window tests reach
// every outcome without a network: the real task dispatcher, start-up, trace
// hand-over, error path, run record and shutdown run unchanged around them. A script
// fills the run record as the exchanges it stands for would.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/ProbeExpressClientThread.h"
#include "client/ProbeRun.h"

namespace zp::test {

class FakeWorker : public ZExpressTcpClientThread {
 public:
  using Step = std::function<void(FakeWorker&)>;
  struct Script {
    Step startup, discover, profile, sync;
    // Counts workers made and not yet destroyed, when set.
    std::shared_ptr<std::atomic<int>> alive;
  };

  FakeWorker(const std::string& name, ZTraceEvent on_trace, const RunSettings& settings,
             std::shared_ptr<Invoker> invoker, Script script)
      : ZExpressTcpClientThread(name, std::move(on_trace), settings.server, settings.port, settings.route_code,
                                std::move(invoker)),
        FScript(std::move(script)) {
    if (FScript.alive) ++*FScript.alive;
  }

  ~FakeWorker() override {
    // The scripts die with this object: stop the thread before they do.
    Terminate();
    WaitFinished();
    if (FScript.alive) --*FScript.alive;
  }

  // A route of the list discovery leaves; the dispatcher records the list afterwards.
  void AddRoute(const std::string& text, std::int32_t score) { Routes().push_back({text, score}); }
  // Profiles route `index` (from 0) to `score`, as the profiler records it.
  void ScoreRoute(std::size_t index, std::int32_t score, bool failed = false) {
    Record().BeginRoute(index);
    Routes().at(index).score = score;
    Record().EndRoute(index, failed ? RouteOutcome::ConnectFailed : RouteOutcome::Scored, score, failed, 0.0, "");
  }
  // Waits in the worker's own wait until a stop is requested.
  void WaitForStop() {
    while (!Terminated()) WaitForEvent(1000);
  }

 protected:
  int Startup() override {
    const int result = ZExpressTcpClientThread::Startup();
    Run(FScript.startup);
    return result;
  }
  void DiscoverRoutes() override { Run(FScript.discover); }
  void ProfileRoutes() override { Run(FScript.profile); }
  void SynchronizeKeys() override { Run(FScript.sync); }

 private:
  void Run(const Step& step) {
    if (step) step(*this);
  }
  Script FScript;
};

// What the run handed to the worker factory.
struct MadeWorker {
  std::string name;
  RunSettings settings;
  FakeWorker* worker = nullptr;  // owned by its run; valid until the window frees it
};

// A worker factory for the run model that makes FakeWorkers running `script` and
// records what it was given.
struct FakeFactory {
  FakeWorker::Script script;
  std::shared_ptr<std::vector<MadeWorker>> made = std::make_shared<std::vector<MadeWorker>>();

  WorkerFactory Make() {
    return [script = script, made = made](const std::string& name, ZTraceEvent on_trace, const RunSettings& settings,
                                          std::shared_ptr<Invoker> invoker) {
      auto worker = std::make_unique<FakeWorker>(name, std::move(on_trace), settings, std::move(invoker), script);
      made->push_back({name, settings, worker.get()});
      return std::unique_ptr<ZExpressTcpClientThread>(std::move(worker));
    };
  }
};

}  // namespace zp::test
