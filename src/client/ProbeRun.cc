#include "client/ProbeRun.h"

#include <cstdio>

#include "client/ProbeExpressClientThread.h"

namespace zp {

ZProbeRun::ZProbeRun(RunOptions options, TraceLineHandler on_line, std::shared_ptr<Invoker> invoker)
    : FOptions(std::move(options)), FOnLine(std::move(on_line)), FInvoker(std::move(invoker)) {}

ZProbeRun::~ZProbeRun() {
  if (FWorker) {
    FWorker->Terminate();
    FWorker->WaitFinished();
  }
}

bool ZProbeRun::Start() {
  if (FWorker) return false;
  // The time is the worker's moment, carried with the line: the creator may take a batch
  // of lines at once, and late when it is busy.
  ZTraceEvent on_trace = [this](const std::string& name, const std::string& text) {
    if (FOnLine) FOnLine(TraceLine{name, TraceTimeText(FWorker->TraceStamp()), text});
  };
  const RunSettings& s = FOptions.settings;
  if (FOptions.factory)
    FWorker = FOptions.factory(FOptions.worker_name, on_trace, s, FInvoker);
  else
    FWorker = std::make_unique<ZExpressTcpClientThread>(FOptions.worker_name, on_trace, s.server, s.port,
                                                        s.route_code, FInvoker);
  ZExpressTcpClientThread* worker = FWorker.get();
  worker->SetOnErrorBox([worker, box = FOptions.error_box](const std::string& text) {
    worker->Record().SetFatalError(text);
    if (box)
      box(text);
    else
      std::fprintf(stderr, "Error: %s\n", text.c_str());
  });
  if (!FOptions.dns_store_path.empty()) worker->SetDnsStorePath(FOptions.dns_store_path);
  if (FOptions.resolver) worker->SetHostResolver(FOptions.resolver);
  worker->Resume();
  const bool started = worker->WaitForStartup();
  if (started) worker->Record().SetStarted();
  return started;
}

bool ZProbeRun::Poll() {
  if (FDone) return false;
  if (!FWorker) return false;
  if (FWorker->GetState() == state::Halted || FWorker->Finished()) Conclude();
  return !FDone;
}

void ZProbeRun::Conclude() {
  FWorker->Record().Finish(FStopAsked);
  FWorker->Terminate();
  FDone = true;
}

void ZProbeRun::Stop() {
  if (!FWorker || FDone) return;
  // A worker that has already halted has its final result; a stop no longer changes it.
  if (FWorker->GetState() != state::Halted) {
    FStopAsked = true;
    FWorker->Record().NoteStop(FWorker->GetStateName());
  }
  FWorker->Terminate();
}

void ZProbeRun::DeliverTrace() {
  if (FWorker) FWorker->DeliverTrace();
}

void ZProbeRun::WaitFinished() {
  if (!FWorker) return;
  FWorker->WaitFinished();
  FWorker->DeliverTrace();
  if (!FDone) Conclude();
}

bool ZProbeRun::WorkerFinished() const { return !FWorker || FWorker->Finished(); }

RunSnapshot ZProbeRun::Snapshot() const {
  if (!FWorker) {
    RunSnapshot empty;
    empty.settings = FOptions.settings;
    empty.worker_name = FOptions.worker_name;
    return empty;
  }
  RunSnapshot s = FWorker->Record().Snapshot();
  s.result_code = FWorker->GetResultCode();
  s.state_name = FWorker->GetStateName();
  s.status_text = FWorker->GetStatusText(0);
  return s;
}

}  // namespace zp
