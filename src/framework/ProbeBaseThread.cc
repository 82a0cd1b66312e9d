#include "framework/ProbeBaseThread.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <new>

#include "framework/Errors.h"
#include "framework/Format.h"
#include "platform/MessageQueue.h"
#include "platform/Tick.h"
#include "platform/QueueInvoker.h"

namespace zp {

namespace {

constexpr const char* kStateNames[] = {
    "Holding",        "Startup",        "AbortSession",
    "Answering",      "Available",      "ConfigureModem",
    "DialInterface",  "Debug",          "Disconnect",
    "Disconnected",   "Down",           "Error",
    "Generate",       "Halted",         "Idle",
    "Process",        "ProcessNow",     "Ready",
    "Receive",        "RefreshRoutes",  "RxSynchronize",
    "SendBroadcast",  "SendConnect",    "SendLogon",
    "SendPassword",   "SendSetDirectory", "SessionComplete",
    "SyncKeyPage",    "TransmitFile",   "TxSynchronize",
    "UpdateRoutes",   "Waiting",        "WaitAutoAnswer",
    "WaitBroadcast",  "WaitConnect",    "WaitLogon",
    "WaitPassword",   "WaitPostpone",   "WaitPostponeNow",
    "WaitReceiveFirstHubPacket", "WaitReceiveLogon", "WaitReceiveHubPacket",
    "WaitReceivePacket", "WaitSetDirectory", "WaitSuspend",
    "WaitRoutes"};
constexpr std::size_t kStateCount = sizeof kStateNames / sizeof kStateNames[0];
static_assert(kStateCount == 46);

constexpr long kStartupSilenceMs = 10000;

// Measures real time spent in a mandated wait.
class WaitClock {
 public:
  explicit WaitClock(std::atomic<std::int64_t>& sink)
      : FSink(sink), FStart(std::chrono::steady_clock::now()) {}
  ~WaitClock() {
    FSink += std::chrono::duration_cast<std::chrono::microseconds>(
                 std::chrono::steady_clock::now() - FStart)
                 .count();
  }

 private:
  std::atomic<std::int64_t>& FSink;
  std::chrono::steady_clock::time_point FStart;
};

}  // namespace

std::string StateName(ZThreadState state) {
  if (state < kStateCount) return kStateNames[state];
  char buf[32];
  std::snprintf(buf, sizeof buf, "Unknown State %d", static_cast<int>(state));
  return buf;
}

bool PumpMessage() { return MessageQueue::ForThisThread().DispatchOne(); }

void PumpMessages() { MessageQueue::ForThisThread().DispatchAll(); }

ZBaseThread::ZBaseThread(std::string name, ZTraceEvent on_trace, std::shared_ptr<Invoker> invoker)
    : FName(std::move(name)),
      FStartupEvent(std::make_unique<Event>(Event::Reset::Auto)),
      // The stop and signal events exist for the object's whole life (not only between
      // Startup and Shutdown), so that Terminate is safe at any moment.
      FTerminateEvent(std::make_unique<Event>(Event::Reset::Auto)),
      FSignalEvent(std::make_unique<Event>(Event::Reset::Manual)),
      FPauseEvent(std::make_unique<Event>(Event::Reset::Auto)),
      FOnTrace(std::move(on_trace)),
      FInvoker(invoker ? std::move(invoker) : std::make_shared<QueueInvoker>()),
      FTraceQueue(std::make_shared<TraceQueue>(
          [this](std::time_t stamp, const std::string& text) {
            FTraceStamp = stamp;
            if (FOnTrace) FOnTrace(FName, text);
          },
          FInvoker)) {
  FOnErrorBox = [](const std::string& text) { std::fprintf(stderr, "Error: %s\n", text.c_str()); };
}

ZBaseThread::~ZBaseThread() {
  Terminate();
  WaitFinished();
  if (FThread.joinable()) FThread.join();
  // A drain still on its way to the creator must not reach this object.
  FTraceQueue->Detach();
}

void ZBaseThread::DeliverTrace() { FInvoker->RunAndWait([this] { FTraceQueue->Drain(); }); }

void ZBaseThread::Resume() {
  if (!FThread.joinable() && !Finished()) FThread = std::thread([this] { Execute(); });
}

void ZBaseThread::WaitFinished() {
  if (!FThread.joinable()) return;
  while (!Finished()) {
    // On the creator this serves the worker's hand-overs; elsewhere it is a plain wait.
    FInvoker->WaitServing(FFinishedEvent, 100);
  }
  // The last lines, before the caller reads the end (inline on the creator).
  FInvoker->RunAndWait([this] { FTraceQueue->Drain(); });
}

void ZBaseThread::Terminate() {
  FTerminated = true;
  FStopEvent.Set();
  FTerminateEvent->Set();
}

bool ZBaseThread::WaitForStartup() {
  bool result = true;
  Event* startup;
  {
    std::lock_guard lock(FStartupLock);
    startup = FStartupEvent.get();
  }
  if (startup != nullptr) {
    while (!Terminated()) {
      const Invoker::WaitResult r = FInvoker->WaitServing(*startup, kStartupSilenceMs);
      result = r == Invoker::WaitResult::Signalled;
      break;
    }
  }
  {
    std::lock_guard lock(FStartupLock);
    FStartupEvent.reset();  // a later signal by the worker goes nowhere
  }
  // What the start-up traced stands in the trace before the caller goes on.
  DeliverTrace();
  return result;
}

// One step of the task; an error it raises goes through the fatal-error path.
void ZBaseThread::RunTask() {
  std::string error;
  try {
    ProcessTask();
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (!error.empty()) FatalError(error);
}

void ZBaseThread::Execute() {
  std::string pending;
  int started = 0;
  try {
    started = Startup();
  } catch (const std::exception& e) {
    pending = e.what();
    started = 0;
  }

  bool ok = false;
  if (started == 1) {
    for (;;) {
      if (GetState() > state::Startup) {
        Trace(GetStateName() + ": Startup Complete");
        ok = true;
        break;
      }
      if (Terminated()) {
        ok = true;
        break;
      }
      RunTask();
      if (GetState() == state::Halted) break;
    }
  }

  {
    std::lock_guard lock(FStartupLock);
    if (FStartupEvent) FStartupEvent->Set();
  }
  if (!pending.empty()) {
    FatalError(pending);
    pending.clear();
  }
  if (!ok) {
    Trace("Initialization Failed - Thread Terminated");
  } else {
    while (!Terminated()) {
      RunTask();
      if (GetState() == state::Halted) break;
    }
    Trace("Shutdown");
    SetStatusText("Terminated");
    try {
      Shutdown();
    } catch (const std::exception& e) {
      // Nobody is left to show a box to after the shutdown line; keep the reason.
      std::fprintf(stderr, "%s: %s\n", FName.c_str(), e.what());
    }
  }
  FFinished = true;
  FFinishedEvent.Set();
}

int ZBaseThread::Startup() {
  FPrevState = state::Debug;
  FState = state::Debug;
  SetStatusText("");
  FWaitTimer = MakeWaitTimer();
  if (!FWaitTimer) throw ZError("Can't create FWaitTimer");
  FTerminateEvent->ResetEvent();
  FSignalEvent->ResetEvent();
  FWaitHandles[0] = FTerminateEvent.get();
  FWaitHandles[1] = FSignalEvent.get();
  FWaitHandleCount = 2;
  SetState(state::Holding);
  FWaitTimer->StartSeconds(0);
  return 1;
}

std::unique_ptr<ZTimer> ZBaseThread::MakeWaitTimer() {
  try {
    return std::make_unique<ZTimer>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void ZBaseThread::ProcessTask() { throw ZError("You must override ZBaseThread.ProcessTask"); }

void ZBaseThread::Shutdown() { FWaitTimer.reset(); }

std::string ZBaseThread::GetStatusText(int /*index*/) {
  std::lock_guard lock(FStatusLock);
  return FStatusText;
}

void ZBaseThread::SetState(ZThreadState new_state) {
  FPrevState = FState.load();
  FState = new_state;
}

void ZBaseThread::SetStatusText(const std::string& text) {
  std::lock_guard lock(FStatusLock);
  if (FStatusText != text) FStatusText = text;
}

void ZBaseThread::Trace(const std::string& text) { FTraceQueue->Push(text); }

void ZBaseThread::TraceDump(const std::string& prefix, int length, const void* data) {
  for (const std::string& line : DumpLines(prefix, length, data)) Trace(line);
}

void ZBaseThread::FatalError(const std::string& text) {
  FErrorText = FName + "\r\n" + text;
  Trace(text);
  const std::string box_text = FErrorText;
  FInvoker->RunAndWait([this, &box_text] {
    // The lines before the error stand before its box.
    FTraceQueue->Drain();
    if (FOnErrorBox) FOnErrorBox(box_text);
  });
  Trace("Halted");
  SetState(state::Halted);
}

void ZBaseThread::SetWaitTimer(std::uint16_t seconds) {
  if (FWaitTimer) FWaitTimer->StartSeconds(seconds);
}

bool ZBaseThread::WaitTimerExpired() const { return FWaitTimer && FWaitTimer->Expired(); }

WaitResult ZBaseThread::WaitForEvent(long ms) {
  WaitClock clock(FMandatedWaitMicros);
  MessageQueue& queue = MessageQueue::ForThisThread();
  const std::span<Event* const> handles(FWaitHandles.data(),
                                        static_cast<std::size_t>(FWaitHandleCount));
  WaitResult result = WaitTimedOut;
  while (!Terminated()) {
    const int r = queue.Wait(handles, ms);
    if (r == 0) return WaitTerminate;
    if (r == 1) {
      FSignalEvent->ResetEvent();
      return WaitSignalled;
    }
    if (r >= 2 && r < FWaitHandleCount) {
      Trace("Unrecognized Object has been signalled " + std::to_string(r));
      continue;
    }
    if (r == FWaitHandleCount) {
      PumpMessages();
      continue;
    }
    if (r == MessageQueue::kWaitTimeout) return WaitTimedOut;
    return WaitFailed;
  }
  return result;
}

void ZBaseThread::Signal() { FSignalEvent->Set(); }

void ZBaseThread::Pause(long ms) {
  WaitClock clock(FMandatedWaitMicros);
  const std::uint32_t end = GetTickCount() + static_cast<std::uint32_t>(ms);
  do {
    PumpMessage();
    if (ms <= 0) return;
    // A stop request ends the pause early: a pause is pacing, never something a stop
    // should wait for.
    if (Terminated()) return;
    FPauseEvent->Wait(50);
  } while (!TickPassed(GetTickCount(), end));
}

}  // namespace zp
