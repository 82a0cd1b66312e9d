#pragma once
#include <functional>
#include <memory>
#include <string>

#include "client/HostResolver.h"
#include "run/RunRecord.h"
#include "run/TraceLine.h"
#include "framework/ProbeBaseThread.h"

namespace zp {

class ZExpressTcpClientThread;

// Makes the worker of one test (by default the probe client); tests make scripted ones.
using WorkerFactory = std::function<std::unique_ptr<ZExpressTcpClientThread>(
    const std::string& name, ZTraceEvent on_trace, const RunSettings& settings, std::shared_ptr<Invoker> invoker)>;

struct RunOptions {
  RunSettings settings;
  std::string worker_name = "ExpressT";
  std::string dns_store_path;  // empty: the user's store
  HostResolver resolver;       // empty: the system resolver
  WorkerFactory factory;       // empty: the probe client
  ZErrorBoxEvent error_box;    // empty: the text on standard error
};

// One test as every front end runs it: starts the worker, is polled by its owner, stops
// and collects it, and gives the structured record of the run at any moment.
//
// Construct, Start, Poll, Stop and destroy on one thread (the creator): trace lines and the
// error box reach `on_line` and the options' box there, in order, while the creator serves
// `invoker` (its waits in Start and in the destructor do). Destroying a run stops it and
// waits for its worker to end.
class ZProbeRun {
 public:
  ZProbeRun(RunOptions options, TraceLineHandler on_line, std::shared_ptr<Invoker> invoker);
  ~ZProbeRun();
  ZProbeRun(const ZProbeRun&) = delete;
  ZProbeRun& operator=(const ZProbeRun&) = delete;

  // Makes and resumes the worker and waits for its start-up. False when the start-up
  // failed or went silent for 10 s.
  bool Start();
  // True while the test runs. Once the worker has halted (or ended after a stop) the
  // record is final: the worker is asked to stop and Poll returns false from then on.
  bool Poll();
  // Asks the worker to stop; returns at once. A run stopped before it halted is recorded
  // as stopped.
  void Stop();
  // Serves hand-overs until the worker's thread has ended, and delivers its last lines.
  void WaitFinished();
  // Delivers the lines the worker has traced so far at once, rather than with the next
  // hand-over: once the worker has ended, its trace is then complete.
  void DeliverTrace();
  bool Done() const { return FDone; }
  // True once the worker's thread has ended (it may still be tracing its shutdown before).
  bool WorkerFinished() const;

  RunSnapshot Snapshot() const;
  const RunSettings& Settings() const { return FOptions.settings; }
  ZExpressTcpClientThread* Worker() { return FWorker.get(); }

 private:
  void Conclude();

  RunOptions FOptions;
  TraceLineHandler FOnLine;
  std::shared_ptr<Invoker> FInvoker;
  std::unique_ptr<ZExpressTcpClientThread> FWorker;
  bool FStopAsked = false;
  bool FDone = false;
};

}  // namespace zp
