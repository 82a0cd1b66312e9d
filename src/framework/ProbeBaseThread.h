#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "framework/TraceQueue.h"
#include "framework/ZTimer.h"
#include "platform/Event.h"
#include "platform/Invoker.h"

namespace zp {

// Trace callback (Name, Text). Every line reaches it through Trace, on the creator's
// thread, in order (a batch of lines at a time: see TraceQueue); inside it the worker's
// TraceStamp() says when the line was traced.
using ZTraceEvent = std::function<void(const std::string& name, const std::string& text)>;
// Shows the fatal-error box (modal on the creator's thread) and returns when closed.
using ZErrorBoxEvent = std::function<void(const std::string& text)>;

using ZThreadState = std::uint8_t;

namespace state {
inline constexpr ZThreadState Holding = 0;
inline constexpr ZThreadState Startup = 1;
inline constexpr ZThreadState Debug = 7;
inline constexpr ZThreadState Down = 10;
inline constexpr ZThreadState Halted = 13;
inline constexpr ZThreadState Process = 15;
inline constexpr ZThreadState SyncKeyPage = 27;
inline constexpr ZThreadState UpdateRoutes = 30;
inline constexpr ZThreadState Waiting = 31;
inline constexpr ZThreadState WaitRoutes = 45;
}  // namespace state

// The display name of any state value; "Unknown State %d" past the table.
std::string StateName(ZThreadState state);

enum WaitResult { WaitTimedOut = 0, WaitSignalled = 1, WaitTerminate = 2, WaitFailed = 3 };

// Takes one queued message of the calling thread and dispatches it; false when none.
bool PumpMessage();
void PumpMessages();

// Base of every worker: startup, run and shutdown phases driven through ProcessTask,
// synchronous trace hand-over to the creator, the fatal-error path, and waits that keep
// dispatching the worker thread's messages.
//
// Construct, Resume, WaitForStartup, Terminate and destroy on the creating thread. The
// object is never destroyed by its own thread; destroying it stops and joins the worker
// while still serving its hand-overs.
class ZBaseThread {
 public:
  // `invoker` runs hand-overs on the creator; by default one on the creating thread's
  // MessageQueue.
  ZBaseThread(std::string name, ZTraceEvent on_trace, std::shared_ptr<Invoker> invoker = nullptr);
  virtual ~ZBaseThread();
  ZBaseThread(const ZBaseThread&) = delete;
  ZBaseThread& operator=(const ZBaseThread&) = delete;

  // --- creator side ---
  void Resume();
  // True when the startup phase ended (successfully or not); false after 10 s of
  // silence or a failed wait. Serves hand-overs while it waits.
  bool WaitForStartup();
  void Terminate();
  bool Terminated() const { return FTerminated.load(); }
  // Set once a stop is requested and never reset: for waits outside the worker's own
  // (a connect under way), which must not consume the terminate event.
  const Event& StopEvent() const { return FStopEvent; }
  // True once the thread body has returned.
  bool Finished() const { return FFinished.load(); }
  // Waits (serving hand-overs when on the creator) until the thread body has returned.
  void WaitFinished();
  // Delivers at once every line traced so far (they would come with the next hand-over):
  // once the thread has finished, the trace is then complete.
  void DeliverTrace();
  void SetOnErrorBox(ZErrorBoxEvent box) { FOnErrorBox = std::move(box); }
  const std::shared_ptr<Invoker>& GetInvoker() const { return FInvoker; }
  // Inside the trace callback: when the worker traced the line being delivered (the
  // creator may take it much later). Creator side only.
  std::time_t TraceStamp() const { return FTraceStamp; }

  const std::string& GetName() const { return FName; }
  std::string GetStateName() const { return StateName(GetState()); }
  virtual std::string GetStatusText(int index);
  virtual std::uint32_t GetTextColor() { return 0; }
  virtual std::uint32_t GetBackColor() { return 0x8000000F; }
  std::int32_t GetResultCode() const { return FResultCode.load(); }

  // Real time spent inside Pause and WaitForEvent, for benchmarks.
  std::int64_t MandatedWaitMicros() const { return FMandatedWaitMicros.load(); }

  // --- worker side ---
  ZThreadState GetState() const { return FState.load(); }
  ZThreadState GetPrevState() const { return FPrevState.load(); }
  void SetState(ZThreadState new_state);
  void SetStatusText(const std::string& text);
  void SetResultCode(std::int32_t code) { FResultCode.store(code); }

  void Trace(const std::string& text);
  void TraceError(const std::string& text) { Trace(text); }
  void TraceDump(const std::string& prefix, int length, const void* data);
  void FatalError(const std::string& text);

  void SetWaitTimer(std::uint16_t seconds);
  bool WaitTimerExpired() const;
  WaitResult WaitForEvent(long ms);
  void Signal();
  void Pause(long ms);

 protected:
  virtual int Startup();
  virtual void ProcessTask();
  virtual void Shutdown();
  // The deadline timer of the state time-outs; null when it cannot be made, which fails
  // the start-up.
  virtual std::unique_ptr<ZTimer> MakeWaitTimer();


 private:
  void Execute();
  void RunTask();

  const std::string FName;
  std::atomic<ZThreadState> FPrevState{0};
  std::atomic<ZThreadState> FState{0};
  std::unique_ptr<ZTimer> FWaitTimer;
  std::string FErrorText;
  std::mutex FStartupLock;  // guards FStartupEvent against WaitForStartup closing it
  std::unique_ptr<Event> FStartupEvent;
  std::unique_ptr<Event> FTerminateEvent;
  Event FStopEvent{Event::Reset::Manual};  // set by Terminate and never reset
  std::unique_ptr<Event> FSignalEvent;
  std::unique_ptr<Event> FPauseEvent;
  std::array<Event*, 64> FWaitHandles{};
  int FWaitHandleCount = 0;
  mutable std::mutex FStatusLock;  // the creator reads the status while the worker writes it
  std::string FStatusText;
  ZTraceEvent FOnTrace;
  std::time_t FTraceStamp = 0;  // of the line being delivered; touched on the creator only
  std::atomic<std::int32_t> FResultCode{0};

  std::shared_ptr<Invoker> FInvoker;
  std::shared_ptr<TraceQueue> FTraceQueue;
  ZErrorBoxEvent FOnErrorBox;
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  Event FFinishedEvent{Event::Reset::Manual};
  std::atomic<std::int64_t> FMandatedWaitMicros{0};
  std::thread FThread;
};

}  // namespace zp
