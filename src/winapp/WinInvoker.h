#pragma once
#include <windows.h>

#include <atomic>
#include <functional>

#include "platform/HandOverInvoker.h"

namespace zp {

// Hand-overs to the window thread through its message queue: a worker's call is posted
// to a message-only window of that thread and runs whenever the thread dispatches,
// including inside modal loops (the error box, the results window, a file dialog) and
// inside WaitServing.
//
// Construct, WaitServing and destroy on the window thread; it must outlive every worker
// given it (workers hold it by shared pointer).
class WinInvoker final : public HandOverInvoker {
 public:
  WinInvoker();
  ~WinInvoker() override;
  WinInvoker(const WinInvoker&) = delete;
  WinInvoker& operator=(const WinInvoker&) = delete;

  // On the window thread: dispatches messages (hand-overs, clicks, timers) until `ev` is
  // set or `ms` tick milliseconds pass without a hand-over. Once closed it serves nothing
  // and gives up within kClosedWaitMs.
  WaitResult WaitServing(Event& ev, long ms) override;

  // Dispatches one message the way the program's loops do: dialog keys (Tab, Enter,
  // mnemonics) go to the message's top-level window first.
  static void Dispatch(MSG& msg);

  // How long hand-overs may follow one another before the window's other messages get through.
  static constexpr ULONGLONG kFloodSliceMs = 50;

 protected:
  bool OnCreator() const override { return GetCurrentThreadId() == FThread; }
  bool Wake() override { return PostMessageW(FWindow, kRunPending, 0, 0) != FALSE; }

 private:
  static constexpr UINT kRunPending = WM_APP + 0x41;
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static void LetOthersThrough();

  DWORD FThread;
  HWND FWindow = nullptr;
};

}  // namespace zp
