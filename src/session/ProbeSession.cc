#include "session/ProbeSession.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "history/RunHistory.h"
#include "run/ProgressText.h"
#include "run/RunWords.h"
#include "session/ResultLines.h"

namespace zp {

namespace {

const char* const kIdlePrompt = "Press Test to Begin";
// How long a concluded test's worker may take to trace its shutdown, and how long a
// close waits for stopped workers, before they are left to end on their own.
constexpr int kWorkerEndMs = 1000;

}  // namespace

ProbeSession::ProbeSession(std::shared_ptr<Invoker> invoker, SessionOptions options)
    : FInvoker(std::move(invoker)), FOptions(std::move(options)) {}

ProbeSession::~ProbeSession() {
  FClosing = true;
  FInvoker->Close();
  for (auto& run : FRuns) run->Stop();
  FRun = nullptr;
  // Each waits for its worker: the closed invoker lets every hand-over return at once.
  FRuns.clear();
}

ProbeSession::StartAnswer ProbeSession::StartTest(const TestRequest& request) {
  StartAnswer answer;
  if (FClosing) {
    answer.refusal = TestRefusal::Closing;
    answer.view = IdleView();
    return answer;
  }
  // A click that arrives while a test runs, or inside the start-up wait below, is not a
  // new test.
  if (FRun != nullptr || FStarting) {
    answer.refusal = TestRefusal::TestRunning;
    answer.message = "A test is under way: stop it or wait for its end.";
    answer.view = FRun != nullptr ? RunningView() : IdleView();
    return answer;
  }
  const CheckedRequest checked = CheckRequest(request);
  if (checked.refusal != TestRefusal::None) {
    answer.refusal = checked.refusal;
    answer.message = checked.message;
    answer.view = IdleView();
    return answer;
  }
  FreeEndedRuns();
  Depth depth(this);

  RunOptions options;
  options.settings = checked.settings;
  options.worker_name = FOptions.worker_name;
  options.dns_store_path = FOptions.dns_store_path;
  options.resolver = FOptions.resolver;
  options.factory = FOptions.factory;
  options.error_box = [this](const std::string& text) { ShowErrorBox(text); };
  auto run = std::make_unique<ZProbeRun>(std::move(options), [this](const TraceLine& line) { AddLine(line); },
                                         FInvoker);
  FRun = run.get();
  FRuns.push_back(std::move(run));
  FTrace.clear();
  FTraceLeftOut = 0;
  FStopAsked = false;
  FBanner = BannerView();
  FPhaseSince = std::chrono::steady_clock::now();
  FPhase = RunPhase::Starting;
  answer.number = ++FTestCount;
  answer.settings = checked.settings;
  if (FOptions.on_test_start) FOptions.on_test_start(MakeTestStart(answer.number, checked.settings, std::time(nullptr)));

  FStarting = true;
  // A start-up that fails or goes silent leaves a worker that ends by itself or on Stop:
  // the test is followed either way, so that its end is shown and recorded.
  FRun->Start();
  FStarting = false;
  // The end, if the test has ended already, comes with the next poll: a front end meets
  // it in one place.
  answer.view = FClosing ? IdleView() : RunningView();
  return answer;
}

void ProbeSession::StopTest() {
  if (FRun == nullptr) return;
  FRun->Stop();
  FStopAsked = true;
}

SessionView ProbeSession::Poll() {
  if (FRun == nullptr || FClosing || FStarting) {
    SessionView view = IdleView();
    if (FRun != nullptr && !FClosing) {
      // Inside the start-up wait: the test is under way already.
      view.running = true;
      view.test_enabled = false;
      view.status.thread = FOptions.worker_name;
      view.status.phase = "Starting";
    }
    return view;
  }
  std::optional<EndedRun> ended;
  {
    Depth depth(this);
    if (FRun->Poll()) return RunningView();
    ended = EndFollowed();
  }
  FreeEndedRuns();
  FBanner = ended->results.banner;
  FLastEnded = ended;
  SessionView view = IdleView();
  view.ended = std::move(ended);
  return view;
}

SessionView ProbeSession::RunningView() {
  SessionView view;
  view.running = true;
  view.test_enabled = false;
  view.stop_enabled = !FStopAsked;
  view.status = StatusOf(FRun->Snapshot());
  return view;
}

SessionView ProbeSession::IdleView() const {
  SessionView view;
  view.test_enabled = !FClosing;
  view.banner = FBanner;
  view.status.thread = FBanner.kind == BannerKind::None ? kIdlePrompt : FBanner.spaced;
  return view;
}

StatusView ProbeSession::StatusOf(const RunSnapshot& run) {
  const auto now = std::chrono::steady_clock::now();
  if (run.phase != FPhase) {
    FPhase = run.phase;
    FPhaseSince = now;
  }
  StatusView status;
  status.thread = run.worker_name;
  status.state = run.state_name;
  status.phase = ProgressText(run, std::chrono::duration<double>(now - FPhaseSince).count());
  status.status = EscapeControls(run.status_text);  // may quote a peer
  status.progress_shown = true;
  if (run.phase == RunPhase::ProfilingRoutes && run.current_route > 0 && run.RouteCount() >= run.current_route) {
    status.progress_value = run.current_route - 1;
    status.progress_maximum = run.RouteCount();
  }
  return status;
}

EndedRun ProbeSession::EndFollowed() {
  ZProbeRun* run = FRun;
  FRun = nullptr;
  // The worker has halted: its shutdown lines belong to this test, before any next one.
  WaitWorkerEnded(*run, kWorkerEndMs);
  EndedRun ended = Record(run->Snapshot());
  FRecorded.push_back(run);
  ended.trace = std::move(FTrace);
  ended.trace_left_out = FTraceLeftOut;
  FTrace.clear();
  FTraceLeftOut = 0;
  return ended;
}

void ProbeSession::WaitWorkerEnded(ZProbeRun& run, int ms) {
  Event never(Event::Reset::Manual);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!run.WorkerFinished() && std::chrono::steady_clock::now() < end) FInvoker->WaitServing(never, 10);
  run.DeliverTrace();
}

EndedRun ProbeSession::Record(const RunSnapshot& run) { return RecordEnded(FOptions.history.get(), run); }

void ProbeSession::FreeEndedRuns() {
  if (FDepth > 0) return;
  std::erase_if(FRuns, [this](const std::unique_ptr<ZProbeRun>& run) {
    if (!run->WorkerFinished() || run.get() == FRun) return false;
    // A test no longer followed (the front end closed during it) is recorded too.
    if (std::find(FRecorded.begin(), FRecorded.end(), run.get()) == FRecorded.end()) {
      run->Poll();  // makes the record final
      Record(run->Snapshot());
    }
    std::erase(FRecorded, run.get());
    return true;
  });
}

bool ProbeSession::Close() {
  FClosing = true;
  // From here a worker's hand-over returns at once, so no worker can wait on the front end.
  FInvoker->Close();
  for (auto& run : FRuns) run->Stop();
  FRun = nullptr;
  if (FDepth > 0) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWorkerEndMs);
  for (auto& run : FRuns) {
    while (!run->WorkerFinished() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  FreeEndedRuns();
  return FRuns.empty();
}

std::optional<EndedRun> ProbeSession::AbandonRuns() {
  std::optional<EndedRun> followed;
  for (auto& run : FRuns) {
    if (std::find(FRecorded.begin(), FRecorded.end(), run.get()) != FRecorded.end()) continue;
    RunSnapshot found = run->Snapshot();
    found.finished = true;
    found.stopped = true;
    found.phase = RunPhase::Finished;
    EndedRun ended = Record(found);
    if (run.get() == FRun) {
      ended.trace = std::move(FTrace);
      ended.trace_left_out = FTraceLeftOut;
      followed = std::move(ended);
    }
    if (!run->WorkerFinished()) (void)run.release();
  }
  FRuns.clear();
  FRecorded.clear();
  FRun = nullptr;
  return followed;
}

void ProbeSession::AddLine(const TraceLine& line) {
  Depth depth(this);
  if (FTrace.size() < FOptions.trace_kept) FTrace.push_back(FormatTraceLine(line));
  else ++FTraceLeftOut;
  if (FOptions.on_line) FOptions.on_line(line);
}

void ProbeSession::ShowErrorBox(const std::string& text) {
  if (FClosing) return;
  Depth depth(this);
  if (FOptions.error_box)
    FOptions.error_box(text);
  else
    std::fprintf(stderr, "Error: %s\n", text.c_str());
}

}  // namespace zp
