#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/ProbeRun.h"
#include "session/SessionView.h"
#include "session/TestRequest.h"

namespace zp {

class RunHistory;

struct SessionOptions {
  std::string worker_name = "ExpressT";
  // Where every ended test is recorded and compared with the last one with the same
  // settings; null keeps no history.
  std::shared_ptr<RunHistory> history;
  WorkerFactory factory;        // empty: the probe client
  std::string dns_store_path;   // empty: the user's store
  HostResolver resolver;        // empty: the system resolver
  // Every trace line, on the creator's thread, in order; a test's start comes before its
  // first line.
  TraceLineHandler on_line;
  std::function<void(const TestStart& start)> on_test_start;
  // The worker's fatal-error box, modal on the creator's thread; empty: standard error.
  ZErrorBoxEvent error_box;
  // Trace lines kept of each test for its report; the rest is counted, not kept.
  std::size_t trace_kept = 100000;
};

// The tests of one window or one console run, with no toolkit in it: it starts a test
// (one at a time), follows it, stops it, records every ended test in the history with
// each route's change against the last one with the same settings, frees ended workers,
// and on every poll hands out what the front end draws.
//
// Construct, call and destroy on the creator's thread, which serves `invoker`: trace
// lines and the error box reach the options' handlers there. StartTest waits for the
// worker's start-up while serving hand-overs, so a front end may be called back into
// from inside it (a click, a close): the session refuses a second test meanwhile and
// defers freeing what is still in use. Destroying the session stops its tests and waits
// for their workers.
class ProbeSession {
 public:
  ProbeSession(std::shared_ptr<Invoker> invoker, SessionOptions options);
  ~ProbeSession();
  ProbeSession(const ProbeSession&) = delete;
  ProbeSession& operator=(const ProbeSession&) = delete;

  struct StartAnswer {
    TestRefusal refusal = TestRefusal::None;
    std::string message;  // why the test did not start, for the operator
    int number = 0;       // the test's number in this session, from 1
    RunSettings settings;
    SessionView view;     // what to draw now
  };
  StartAnswer StartTest(const TestRequest& request);
  // Asks the followed test to stop; it ends within about a second.
  void StopTest();
  // The followed test's state, and its end once. Cheap: a front end polls once a second.
  SessionView Poll();
  // Before the first test: where tests are recorded, and what makes their workers.
  void SetHistory(std::shared_ptr<RunHistory> history) { FOptions.history = std::move(history); }
  void SetWorkerFactory(WorkerFactory factory) { FOptions.factory = std::move(factory); }
  // The banner of the last ended test is no longer shown (the operator went back).
  void ForgetBanner() { FBanner = BannerView(); }

  // Stops every test and closes the invoker, so that no worker waits on the front end
  // again. True once every worker has ended and been freed (each ended test recorded);
  // false while one is still in use on the stack or has not ended within a second: call
  // again a little later.
  bool Close();
  bool Closing() const { return FClosing; }
  // For a program that is about to end at once: tests whose workers have not ended after
  // their stop are left to the end of the process rather than waited for. Each is
  // recorded with what it had found, as stopped; the followed one is returned.
  std::optional<EndedRun> AbandonRuns();

  bool Running() const { return FRun != nullptr; }
  // The followed test, or null.
  ZProbeRun* CurrentRun() const { return FRun; }
  const std::optional<EndedRun>& LastEnded() const { return FLastEnded; }
  const std::shared_ptr<RunHistory>& History() const { return FOptions.history; }
  const std::shared_ptr<Invoker>& GetInvoker() const { return FInvoker; }

 private:
  struct Depth {
    explicit Depth(ProbeSession* s) : session(s) { ++session->FDepth; }
    ~Depth() { --session->FDepth; }
    ProbeSession* session;
  };

  void AddLine(const TraceLine& line);
  void ShowErrorBox(const std::string& text);
  StatusView StatusOf(const RunSnapshot& run);
  SessionView IdleView() const;
  SessionView RunningView();
  EndedRun EndFollowed();
  void WaitWorkerEnded(ZProbeRun& run, int ms);
  EndedRun Record(const RunSnapshot& run);
  void FreeEndedRuns();

  std::shared_ptr<Invoker> FInvoker;
  SessionOptions FOptions;
  std::vector<std::unique_ptr<ZProbeRun>> FRuns;
  ZProbeRun* FRun = nullptr;
  std::vector<const ZProbeRun*> FRecorded;  // runs whose end was recorded
  int FTestCount = 0;
  int FDepth = 0;
  bool FStarting = false;
  bool FStopAsked = false;
  bool FClosing = false;
  RunPhase FPhase = RunPhase::Starting;
  std::chrono::steady_clock::time_point FPhaseSince;
  BannerView FBanner;
  std::vector<std::string> FTrace;  // the followed test's lines, for its report
  std::size_t FTraceLeftOut = 0;
  std::optional<EndedRun> FLastEnded;
};

}  // namespace zp
