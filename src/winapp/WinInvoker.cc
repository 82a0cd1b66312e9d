#include "winapp/WinInvoker.h"

#include <algorithm>
#include <chrono>

#include "platform/Tick.h"

namespace zp {

namespace {

const wchar_t* const kClassName = L"ZelvanProbeHandOver";

}  // namespace

WinInvoker::WinInvoker() : FThread(GetCurrentThreadId()) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);  // fails harmlessly when a second invoker registers again
  FWindow = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, this);
}

WinInvoker::~WinInvoker() {
  Close();
  if (FWindow != nullptr) DestroyWindow(FWindow);
}

LRESULT CALLBACK WinInvoker::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  } else if (msg == kRunPending) {
    auto* self = reinterpret_cast<WinInvoker*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self == nullptr) return 0;
    // A worker that hands over line after line keeps this queue full: every so often the
    // window's other messages (timers, paint, input, close) are let through, or a flood
    // of lines would freeze the window and a close could never reach it.
    ULONGLONG since = GetTickCount64();
    self->RunPending([&since] {
      if (GetTickCount64() - since < kFloodSliceMs) return;
      LetOthersThrough();
      since = GetTickCount64();
    });
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void WinInvoker::LetOthersThrough() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, kRunPending - 1, PM_REMOVE) ||
         PeekMessageW(&msg, nullptr, kRunPending + 1, 0xFFFFFFFF, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the program's loop
      return;
    }
    Dispatch(msg);
  }
}

void WinInvoker::Dispatch(MSG& msg) {
  HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

Invoker::WaitResult WinInvoker::WaitServing(Event& ev, long ms) {
  if (const auto plain = WaitWithoutServing(ev, ms)) return *plain;
  using Clock = std::chrono::steady_clock;
  const auto handle = reinterpret_cast<HANDLE>(ev.NativeHandle());
  Clock::time_point deadline;
  const auto restart = [&] {
    if (ms >= 0) deadline = Clock::now() + std::chrono::milliseconds(TicksToRealMs(ms));
  };
  unsigned served = Served();
  restart();
  bool quit = false;
  int quit_code = 0;
  for (;;) {
    if (ev.TryClaim()) break;
    if (IsClosed()) {
      const bool set = ev.Wait(kClosedWaitMs);
      if (quit) PostQuitMessage(quit_code);
      return set ? WaitResult::Signalled : WaitResult::TimedOut;
    }
    if (Served() != served) {
      served = Served();  // a hand-over was served: the wait for silence starts again
      restart();
    }
    DWORD timeout = INFINITE;
    if (ms >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        if (quit) PostQuitMessage(quit_code);
        return WaitResult::TimedOut;
      }
      timeout = static_cast<DWORD>(std::min<long long>(left, 0x7FFFFFFF));
    }
    const DWORD r = MsgWaitForMultipleObjectsEx(1, &handle, timeout, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r == WAIT_FAILED) return WaitResult::Failed;
    // The wait itself took an auto-reset event's signal.
    if (r == WAIT_OBJECT_0) break;
    if (r == WAIT_OBJECT_0 + 1) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        // The end of the program's loop is kept for that loop, after this wait.
        if (msg.message == WM_QUIT) {
          quit = true;
          quit_code = static_cast<int>(msg.wParam);
          continue;
        }
        Dispatch(msg);
      }
    }
  }
  if (quit) PostQuitMessage(quit_code);
  return WaitResult::Signalled;
}

}  // namespace zp
