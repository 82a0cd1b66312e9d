// One whole probe test at real time against the in-process simulated gateway, with 1, 10
// and 100 healthy routes (the 100 take over a minute; the quick run as a test leaves them
// out with a filter).
//
// Almost all of a test is the waits the worker is told to make (Pause, WaitForEvent);
// what is left over is the worker's own work plus the hand-over of every trace line to
// the creating thread. Each thread's CPU comes from its own clock: the worker reads its
// clock as its last act, since its trace lines reach the handler on the creator's thread.
// Counters:
//   outside_waits_pct   (wall - mandated waits) / wall, in percent      goal < 5
//   probe_cpu_ms/route  CPU of the worker and of the creator serving it   goal < 5
//   worker_cpu_ms/route, creator_cpu_ms/route   the two parts of it
//   process_cpu_ms/route  the whole process, the simulator's thread included
//   process_system_pct  how much of that was spent in the kernel
//   lines/route         trace lines, each one a synchronous hand-over to the creator
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "GatewaySimulator.h"
#include "client/ProbeExpressClientThread.h"
#include "framework/MemTrack.h"
#include "platform/Event.h"
#include "platform/QueueInvoker.h"

namespace {

using namespace zp;

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; }

struct Cpu {
  double user = 0;
  double system = 0;
};
Cpu ProcessCpu() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return {Seconds(u.ru_utime), Seconds(u.ru_stime)};
}

double ClockSeconds(clockid_t clock) {
  timespec t{};
  if (clock_gettime(clock, &t) != 0) return 0;
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Measured {
  double wall = 0;     // Resume until the worker's work is done (its "Shutdown" line)
  double waits = 0;    // of that, inside Pause and WaitForEvent
  double worker_cpu = 0;
  double creator_cpu = 0;
  double process_cpu = 0;
  double process_system = 0;  // of that, in the kernel
  int lines = 0;
  std::int32_t result = -1;
};

// The probe's worker, which reads its own thread's CPU clock once its work is done.
class MeasuredWorker : public ZExpressTcpClientThread {
 public:
  using ZExpressTcpClientThread::ZExpressTcpClientThread;
  ~MeasuredWorker() override {
    Terminate();
    WaitFinished();
  }
  double CpuSeconds() const { return FCpu.load(); }

 protected:
  void Shutdown() override {
    ZExpressTcpClientThread::Shutdown();
    FCpu = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
  }

 private:
  std::atomic<double> FCpu{0};
};

Measured RunWholeTest(int routes) {
  sim::GatewaySimulator sim;
  for (int i = 1; i <= routes; ++i) sim.AddRoute({.name = "r" + std::to_string(i)});
  const std::uint16_t port = sim.AddRouteServer({.port = 0});
  sim.Start();
  const auto store = std::filesystem::temp_directory_path() /
                     ("zp-bench-" + std::to_string(getpid()) + "-" + std::to_string(routes) + ".db");
  std::filesystem::remove(store);

  Measured m;
  std::chrono::steady_clock::time_point t0;
  ZExpressTcpClientThread* running = nullptr;
  auto invoker = std::make_shared<QueueInvoker>();
  ZTraceEvent handler = [&, invoker](const std::string&, const std::string& text) {
    invoker->RunAndWait([&] {
      ++m.lines;
      if (text != "Shutdown" || running == nullptr) return;
      // The worker's work is done.
      m.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      m.waits = static_cast<double>(running->MandatedWaitMicros()) / 1e6;
    });
  };
  auto worker = std::make_unique<MeasuredWorker>("ExpressT", handler, "127.0.0.1", port, "A", invoker);
  worker->SetDnsStorePath(store.string());
  running = worker.get();

  const Cpu process0 = ProcessCpu();
  const double creator0 = ClockSeconds(CLOCK_THREAD_CPUTIME_ID);
  t0 = std::chrono::steady_clock::now();
  worker->Resume();
  worker->WaitForStartup();
  Event never(Event::Reset::Manual);
  // Polled once a second, as the window's timer does; hand-overs are served at once.
  while (worker->GetStateName() != "Halted" && !worker->Finished()) invoker->WaitServing(never, 1000);
  m.creator_cpu = ClockSeconds(CLOCK_THREAD_CPUTIME_ID) - creator0;
  worker->Terminate();
  worker->WaitFinished();
  m.worker_cpu = worker->CpuSeconds();
  const Cpu process1 = ProcessCpu();
  m.process_cpu = process1.user + process1.system - process0.user - process0.system;
  m.process_system = process1.system - process0.system;
  m.result = worker->GetResultCode();
  worker.reset();
  invoker->Close();
  sim.Stop();
  std::filesystem::remove(store);
  return m;
}

void BM_WholeTest(benchmark::State& state) {
  const int routes = static_cast<int>(state.range(0));
  Measured total;
  for (auto _ : state) {
    const Measured m = RunWholeTest(routes);
    if (m.result != kResultSuccess) state.SkipWithError("the test did not end in SUCCESS");
    state.SetIterationTime(m.wall);
    total.wall += m.wall;
    total.waits += m.waits;
    total.worker_cpu += m.worker_cpu;
    total.creator_cpu += m.creator_cpu;
    total.process_cpu += m.process_cpu;
    total.process_system += m.process_system;
    total.lines += m.lines;
  }
  const double per_route = 1e3 / (static_cast<double>(routes) * static_cast<double>(state.iterations()));
  state.counters["wall_s"] = total.wall / static_cast<double>(state.iterations());
  state.counters["waits_s"] = total.waits / static_cast<double>(state.iterations());
  state.counters["outside_waits_pct"] = total.wall > 0 ? 100.0 * (total.wall - total.waits) / total.wall : 0;
  state.counters["probe_cpu_ms/route"] = (total.worker_cpu + total.creator_cpu) * per_route;
  state.counters["worker_cpu_ms/route"] = total.worker_cpu * per_route;
  state.counters["creator_cpu_ms/route"] = total.creator_cpu * per_route;
  state.counters["process_cpu_ms/route"] = total.process_cpu * per_route;
  state.counters["process_system_pct"] = total.process_cpu > 0 ? 100.0 * total.process_system / total.process_cpu : 0;
  state.counters["lines/route"] = static_cast<double>(total.lines) * per_route / 1e3;
}

}  // namespace

int main(int argc, char** argv) {
  StartTracking();
  benchmark::RegisterBenchmark("BM_WholeTest", BM_WholeTest)
      ->Arg(1)
      ->Arg(10)
      ->Arg(100)
      ->Iterations(1)
      ->UseManualTime()
      ->Unit(benchmark::kSecond);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
