#pragma once
// A probe worker whose network operations are scripts, so that window tests reach
// every outcome without a network: the real task dispatcher, start-up, trace
// hand-over, error path and shutdown run unchanged around them.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ProbeForm.h"
#include "client/ProbeExpressClientThread.h"

namespace zp::test {

class FakeWorker : public ZExpressTcpClientThread {
 public:
  using Step = std::function<void(FakeWorker&)>;
  struct Script {
    Step startup, discover, profile, sync;
    // Counts workers made and not yet destroyed, when set.
    std::shared_ptr<std::atomic<int>> alive;
  };

  FakeWorker(const std::string& name, ZTraceEvent on_trace, const std::string& server,
             std::int32_t port, const std::string& route_code, std::shared_ptr<Invoker> invoker,
             Script script)
      : ZExpressTcpClientThread(name, std::move(on_trace), server, port, route_code,
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

  void AddRoute(const std::string& text, std::int32_t score) { Routes().push_back({text, score}); }
  void SetRouteScore(std::size_t index, std::int32_t score) { Routes().at(index).score = score; }
  // A line through the trace handler on this thread, as a packet writes its header.
  void DirectTrace(const std::string& text) {
    if (OnTrace()) OnTrace()(GetName(), text);
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

// What the window handed to the worker factory.
struct MadeWorker {
  std::string name, server, route_code;
  std::int32_t port = 0;
  FakeWorker* worker = nullptr;  // owned by the window; valid until it frees it
};

// A worker factory for TfrmProbe that makes FakeWorkers running `script` and records
// what it was given.
struct FakeFactory {
  FakeWorker::Script script;
  std::shared_ptr<std::vector<MadeWorker>> made = std::make_shared<std::vector<MadeWorker>>();

  WorkerFactory Make() {
    return [script = script, made = made](const std::string& name, ZTraceEvent on_trace,
                                          const std::string& server, std::int32_t port,
                                          const std::string& route_code,
                                          std::shared_ptr<Invoker> invoker) {
      auto worker = std::make_unique<FakeWorker>(name, std::move(on_trace), server, port, route_code,
                                                 std::move(invoker), script);
      made->push_back({name, server, route_code, port, worker.get()});
      return std::unique_ptr<ZExpressTcpClientThread>(std::move(worker));
    };
  }
};

}  // namespace zp::test
