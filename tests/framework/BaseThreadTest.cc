#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "framework/Errors.h"
#include "framework/ProbeBaseThread.h"
#include "platform/LocalTime.h"
#include "platform/MessageQueue.h"
#include "platform/Tick.h"

namespace zp {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A worker whose task step is a test-supplied function.
class ScriptedWorker : public ZBaseThread {
 public:
  using Step = std::function<void(ScriptedWorker&)>;
  ScriptedWorker(ZTraceEvent trace, Step step)
      : ZBaseThread("Worker", std::move(trace)), step_(std::move(step)) {}
  ~ScriptedWorker() override {
    Terminate();
    WaitFinished();
  }
  int shutdowns = 0;
  bool no_timer = false;  // the wait timer cannot be made

 protected:
  void ProcessTask() override { step_(*this); }
  std::unique_ptr<ZTimer> MakeWaitTimer() override { return no_timer ? nullptr : ZBaseThread::MakeWaitTimer(); }
  void Shutdown() override {
    ++shutdowns;
    ZBaseThread::Shutdown();
  }

 private:
  Step step_;
};

// Collects trace lines on the creator thread, as the window does.
struct Lines {
  std::vector<std::string> text;
  std::thread::id creator = std::this_thread::get_id();
  bool all_on_creator = true;
  ZTraceEvent Handler() {
    return [this](const std::string&, const std::string& t) {
      if (std::this_thread::get_id() != creator) all_on_creator = false;
      text.push_back(t);
    };
  }
};

// Holding -> Startup -> Process -> ... as a subclass would move.
void StartThen(ScriptedWorker& w, const std::function<void(ScriptedWorker&)>& run) {
  if (w.GetState() == state::Holding) {
    w.SetState(state::Startup);
  } else if (w.GetState() == state::Startup) {
    w.Trace("settings");
    w.SetState(state::Process);
  } else {
    run(w);
  }
}

TEST(StateName, TableAndUnknownValues) {
  EXPECT_EQ(StateName(0), "Holding");
  EXPECT_EQ(StateName(8), "Disconnect");
  EXPECT_EQ(StateName(10), "Down");
  EXPECT_EQ(StateName(13), "Halted");
  EXPECT_EQ(StateName(28), "TransmitFile");
  EXPECT_EQ(StateName(29), "TxSynchronize");
  EXPECT_EQ(StateName(45), "WaitRoutes");
  EXPECT_EQ(StateName(46), "Unknown State 46");
  EXPECT_EQ(StateName(255), "Unknown State 255");
}

TEST(BaseThread, CompletedStartTracesInOrderAndShutsDown) {
  Lines lines;
  int runs = 0;
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    StartThen(s, [&](ScriptedWorker& x) {
      if (++runs == 2) x.SetState(state::Halted);
    });
  });
  w.Resume();
  EXPECT_TRUE(w.WaitForStartup());
  w.WaitFinished();
  EXPECT_THAT(lines.text, ElementsAre("settings", "Process: Startup Complete", "Shutdown"));
  EXPECT_TRUE(lines.all_on_creator);
  EXPECT_EQ(w.shutdowns, 1);
  EXPECT_EQ(w.GetStatusText(0), "Terminated");
  EXPECT_EQ(runs, 2);
}

TEST(BaseThread, StartupLeavesPreviousDebugAndCurrentHolding) {
  Lines lines;
  ZThreadState prev = 99, cur = 99;
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    prev = s.GetPrevState();
    cur = s.GetState();
    s.SetState(state::Halted);
  });
  w.Resume();
  w.WaitForStartup();
  w.WaitFinished();
  EXPECT_EQ(prev, state::Debug);
  EXPECT_EQ(cur, state::Holding);
}

// An error in the start-up phase, raised by a step or by Startup itself (the wait timer
// cannot be made): the box, the trace and no shutdown.
TEST(BaseThread, ErrorInStartupPhase) {
  for (const bool no_timer : {false, true}) {
    const std::string text = no_timer ? "Can't create FWaitTimer" : "boom";
    Lines lines;
    std::string box;
    ScriptedWorker w(lines.Handler(), [](ScriptedWorker&) { throw EUnderflow("boom"); });
    w.no_timer = no_timer;
    w.SetOnErrorBox([&](const std::string& t) { box = t; });
    w.Resume();
    EXPECT_TRUE(w.WaitForStartup()) << "the startup phase ended, though it failed";
    w.WaitFinished();
    EXPECT_THAT(lines.text, ElementsAre(text, "Halted", "Initialization Failed - Thread Terminated"));
    EXPECT_EQ(box, "Worker\r\n" + text);
    EXPECT_EQ(w.GetStateName(), "Halted");
    EXPECT_EQ(w.shutdowns, 0) << "the failed-start path does not shut down";
  }
}

TEST(BaseThread, ErrorInRunPhase) {
  Lines lines;
  ScriptedWorker w(lines.Handler(), [](ScriptedWorker& s) {
    StartThen(s, [](ScriptedWorker&) { throw EInvalidOp("trailing signature corrupted"); });
  });
  w.SetOnErrorBox([](const std::string&) {});
  w.Resume();
  w.WaitForStartup();
  w.WaitFinished();
  EXPECT_THAT(lines.text, ElementsAre("settings", "Process: Startup Complete",
                                      "trailing signature corrupted", "Halted", "Shutdown"));
  EXPECT_EQ(w.shutdowns, 1);
}

TEST(BaseThread, MissingProcessTaskFailsTheStart) {
  Lines lines;
  struct Bare : ZBaseThread {
    using ZBaseThread::ZBaseThread;
  } w("Bare", lines.Handler());
  w.SetOnErrorBox([](const std::string&) {});
  w.Resume();
  w.WaitForStartup();
  w.WaitFinished();
  EXPECT_THAT(lines.text, ElementsAre("You must override ZBaseThread.ProcessTask", "Halted",
                                      "Initialization Failed - Thread Terminated"));
}

TEST(BaseThread, ErrorWithEmptyMessageIsIgnored) {
  Lines lines;
  int runs = 0;
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    StartThen(s, [&](ScriptedWorker& x) {
      if (++runs == 1) throw ZError("");
      x.SetState(state::Halted);
    });
  });
  w.Resume();
  w.WaitForStartup();
  w.WaitFinished();
  EXPECT_THAT(lines.text, ElementsAre("settings", "Process: Startup Complete", "Shutdown"));
  EXPECT_EQ(runs, 2);
}

TEST(BaseThread, StopDuringStartupSkipsCompleteLine) {
  Lines lines;
  Event entered(Event::Reset::Manual);
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    entered.Set();
    s.WaitForEvent(5000);  // stays in Holding until the stop
  });
  w.Resume();
  ASSERT_TRUE(entered.Wait(5000));
  w.Terminate();
  EXPECT_TRUE(w.WaitForStartup()) << "a stop before the call returns true at once";
  w.WaitFinished();
  EXPECT_THAT(lines.text, ElementsAre("Shutdown"));
  EXPECT_EQ(w.shutdowns, 1);
}

TEST(BaseThread, StateAboveStartupOnStopStillTracesCompleteFirst) {
  Lines lines;
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    s.Terminate();
    s.SetState(state::UpdateRoutes);
  });
  w.Resume();
  w.WaitForStartup();
  w.WaitFinished();
  EXPECT_THAT(lines.text, ElementsAre("UpdateRoutes: Startup Complete", "Shutdown"));
}

TEST(BaseThread, WaitForStartupServesHandOversWhileWaiting) {
  Lines lines;
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    if (s.GetState() == state::Holding) {
      for (int i = 0; i < 50; ++i) s.Trace("line " + std::to_string(i));
      s.SetState(state::Halted);
    }
  });
  w.Resume();
  EXPECT_TRUE(w.WaitForStartup());
  ASSERT_GE(lines.text.size(), 50u);
  EXPECT_EQ(lines.text[0], "line 0");
  EXPECT_EQ(lines.text[49], "line 49");
  EXPECT_TRUE(lines.all_on_creator);
}

// A line's time is when the worker traced it, not when the creator took it: the creator
// here takes every line only after the worker has ended, at yet another time.
TEST(BaseThread, EachLineKeepsTheMomentTheWorkerTracedIt) {
  constexpr std::time_t kFirst = 1796680800, kSecond = kFirst + 3600, kTaken = kFirst + 7200;
  std::vector<std::pair<std::string, std::time_t>> got;
  std::unique_ptr<ScriptedWorker> w;
  w = std::make_unique<ScriptedWorker>(
      [&](const std::string&, const std::string& text) { got.emplace_back(text, w->TraceStamp()); },
      [](ScriptedWorker& s) {
        StartThen(s, [](ScriptedWorker& x) {
          testing::FixLocalTime(kFirst);
          x.Trace("first");
          testing::FixLocalTime(kSecond);
          x.Trace("second");
          x.SetState(state::Halted);
        });
      });
  w->Resume();
  ASSERT_TRUE(w->WaitForStartup());
  // Not serving hand-overs meanwhile: the lines the start-up did not deliver wait in the
  // queue.
  while (!w->Finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  testing::FixLocalTime(kTaken);
  w->WaitFinished();
  testing::FixLocalTime(0);
  EXPECT_THAT(got, ::testing::IsSupersetOf({std::make_pair(std::string("first"), kFirst),
                                            std::make_pair(std::string("second"), kSecond)}));
}

TEST(BaseThread, WaitForStartupGivesUpAfterTenSecondsOfSilence) {
  testing::SetTimeScale(200.0);
  Lines lines;
  ScriptedWorker w(lines.Handler(), [](ScriptedWorker& s) { s.WaitForEvent(-1); });
  w.Resume();
  EXPECT_FALSE(w.WaitForStartup());
  w.Terminate();
  w.WaitFinished();
  testing::ResetClock();
}

// --- waits, run on the worker thread -------------------------------------------------

// Runs `body` as the worker's only task step, then halts.
void RunOnWorker(const std::function<void(ScriptedWorker&)>& body, Lines& lines,
                 const std::function<void(ScriptedWorker&)>& from_creator = nullptr) {
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    StartThen(s, [&](ScriptedWorker& x) {
      body(x);
      x.SetState(state::Halted);
    });
  });
  w.Resume();
  w.WaitForStartup();
  if (from_creator) from_creator(w);
  w.WaitFinished();
}

TEST(WaitForEvent, SignalIsReportedOnceThenResetAndTimeOut) {
  Lines lines;
  WaitResult first = WaitFailed, second = WaitFailed;
  RunOnWorker(
      [&](ScriptedWorker& w) {
        w.Signal();
        first = w.WaitForEvent(1000);
        second = w.WaitForEvent(20);
      },
      lines);
  EXPECT_EQ(first, WaitSignalled);
  EXPECT_EQ(second, WaitTimedOut);
}

TEST(WaitForEvent, TerminateDuringAndAfter) {
  Lines lines;
  Event waiting(Event::Reset::Manual);
  WaitResult during = WaitFailed, after = WaitFailed;
  std::uint32_t after_ms = 0;
  ScriptedWorker w(lines.Handler(), [&](ScriptedWorker& s) {
    StartThen(s, [&](ScriptedWorker& x) {
      waiting.Set();
      during = x.WaitForEvent(60000);
      const std::uint32_t t0 = GetTickCount();
      after = x.WaitForEvent(60000);
      after_ms = GetTickCount() - t0;
      x.SetState(state::Halted);
    });
  });
  w.Resume();
  w.WaitForStartup();
  ASSERT_TRUE(waiting.Wait(5000));
  // Give the worker time to be inside the wait: a stop that comes before the wait
  // starts makes it return 0 at once instead, which the second wait checks.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  w.Terminate();
  w.WaitFinished();
  EXPECT_EQ(during, WaitTerminate);
  EXPECT_EQ(after, WaitTimedOut);
  EXPECT_LT(after_ms, 1000u) << "returns at once after a stop";
}

TEST(WaitForEvent, DispatchesMessagesAndWaitsAgain) {
  Lines lines;
  int delivered = 0;
  WaitResult r = WaitFailed;
  RunOnWorker(
      [&](ScriptedWorker& w) {
        const WindowHandle win = CreateMessageWindow([&](Message&) { ++delivered; });
        PostMessageTo(win, 1468, 0, 0);
        PostMessageTo(win, 1468, 0, 0);
        r = w.WaitForEvent(30);
        DestroyMessageWindow(win);
      },
      lines);
  EXPECT_EQ(delivered, 2);
  EXPECT_EQ(r, WaitTimedOut);
}

TEST(Pause, ZeroDispatchesAtMostOneWithoutSleeping) {
  Lines lines;
  int delivered = 0;
  std::uint32_t elapsed = 0;
  RunOnWorker(
      [&](ScriptedWorker& w) {
        const WindowHandle win = CreateMessageWindow([&](Message&) { ++delivered; });
        for (int i = 0; i < 3; ++i) PostMessageTo(win, 7, 0, 0);
        const std::uint32_t t0 = GetTickCount();
        w.Pause(0);
        elapsed = GetTickCount() - t0;
        DestroyMessageWindow(win);
      },
      lines);
  EXPECT_EQ(delivered, 1);
  EXPECT_LT(elapsed, 40u);
}

TEST(Pause, OneMessagePerFiftyMillisecondStep) {
  Lines lines;
  int delivered = 0;
  std::uint32_t elapsed = 0;
  RunOnWorker(
      [&](ScriptedWorker& w) {
        const WindowHandle win = CreateMessageWindow([&](Message&) { ++delivered; });
        for (int i = 0; i < 10; ++i) PostMessageTo(win, 7, 0, 0);
        const std::uint32_t t0 = GetTickCount();
        w.Pause(120);
        elapsed = GetTickCount() - t0;
        DestroyMessageWindow(win);
      },
      lines);
  EXPECT_GE(elapsed, 120u);
  EXPECT_GE(delivered, 2) << "one at the start and one after each step";
  // Never more than one per 50 ms step, however slow the machine made the steps.
  EXPECT_LE(delivered, static_cast<int>(elapsed / 50) + 1);
  EXPECT_LT(delivered, 10);
}

TEST(WaitTimer, StartsAtZeroAndFollowsSeconds) {
  Lines lines;
  bool at_start = false, after_set = true;
  RunOnWorker(
      [&](ScriptedWorker& w) {
        w.Pause(20);
        at_start = w.WaitTimerExpired();  // started with 0 s by Startup: 11 ms
        w.SetWaitTimer(20);
        after_set = w.WaitTimerExpired();
      },
      lines);
  EXPECT_TRUE(at_start);
  EXPECT_FALSE(after_set);
}

// --- hex dump ---------------------------------------------------------------------------

std::vector<std::string> Dump(const std::string& prefix, const std::string& bytes) {
  Lines lines;
  RunOnWorker([&](ScriptedWorker& w) { w.TraceDump(prefix, static_cast<int>(bytes.size()), bytes.data()); },
              lines);
  // Drop the start lines of the scripted worker and the final "Shutdown".
  return std::vector<std::string>(lines.text.begin() + 2, lines.text.end() - 1);
}

TEST(TraceDump, ZeroBytesGivesNoLine) { EXPECT_TRUE(Dump("Tx", "").empty()); }

TEST(TraceDump, FiveBytesExactLines) {
  EXPECT_THAT(Dump("Tx", std::string("\x24\x41\x42\x0A\x7E", 5)),
              ElementsAre("Tx === BEGINS  5 Bytes",
                          "Tx 0000: 24 41 42 0A 7E          " "   " "$AB..   ",
                          "Tx === ENDS"));
}

TEST(TraceDump, ThirtyTwoBytesMakeFourLinesOfEight) {
  std::string bytes;
  for (int i = 0; i < 32; ++i) bytes += static_cast<char>('A' + (i % 26));
  const auto lines = Dump("Rx", bytes);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], "Rx 0000: 41 42 43 44 45 46 47 48    ABCDEFGH");
  EXPECT_EQ(lines[4], "Rx 0024: 59 5A 41 42 43 44 45 46    YZABCDEF");
}

TEST(TraceDump, ThirtyThreeAndThirtyFourBytesUseSixteenPerLineWithDecimalOffsets) {
  const std::string b33(33, 'z');
  const auto l33 = Dump("Rx", b33);
  ASSERT_EQ(l33.size(), 5u);
  EXPECT_EQ(l33[0], "Rx === BEGINS  33 Bytes");
  EXPECT_EQ(l33[2].substr(0, 8), "Rx 0016:");
  EXPECT_EQ(l33[3], "Rx 0032: 7A" + std::string(3 * 15 + 1, ' ') + "   z" + std::string(15, ' '));

  const auto l34 = Dump("MovedUp", std::string(34, '\x01'));
  ASSERT_EQ(l34.size(), 5u);
  EXPECT_EQ(l34[3], "MovedUp 0032: 01 01" + std::string(3 * 14 + 1, ' ') + "   .." + std::string(14, ' '));
  EXPECT_EQ(l34[4], "MovedUp === ENDS");
}

TEST(TraceDump, CharacterColumnRules) {
  const auto lines = Dump("Tx", std::string("\x7B\x1F\x20\x7A\x7F\xFF\x21\x00", 8));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Tx 0000: 7B 1F 20 7A 7F FF 21 00    .. z..!.");
}

}  // namespace
}  // namespace zp
