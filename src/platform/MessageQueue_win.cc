#include "platform/MessageQueue.h"

#include <windows.h>

#include <algorithm>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Tick.h"

namespace zp {

// The thread's own message queue is the system's; what is kept here is each hidden
// window's handler, so that the windows still open can be destroyed with the queue.
struct MessageQueue::Internals {
  std::unordered_map<HWND, std::unique_ptr<WindowProc>> FWindows;
};

namespace {

constexpr wchar_t kWindowClass[] = L"ZelvanProbeMessageWindow";

HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }

// Only messages that arrive between creation and destruction reach the handler: the
// handler is attached after CreateWindowEx returns and detached before DestroyWindow,
// so the system's own creation and destruction messages get its default handling.
LRESULT CALLBACK HiddenWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* proc = reinterpret_cast<WindowProc*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (proc == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  Message m{reinterpret_cast<WindowHandle>(hwnd), message, wparam, lparam, 0};
  (*proc)(m);
  return m.result;
}

ATOM WindowClass() {
  static const ATOM atom = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HiddenWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc);
  }();
  return atom;
}

}  // namespace

MessageQueue& MessageQueue::ForThisThread() {
  // The system's own per-thread slot with a clean-up at thread end: the toolchain's
  // thread_local destructors run after parts of the thread's storage are gone.
  static const DWORD slot = FlsAlloc([](void* queue) { delete static_cast<MessageQueue*>(queue); });
  auto* queue = static_cast<MessageQueue*>(FlsGetValue(slot));
  if (queue == nullptr) {
    queue = new MessageQueue;
    FlsSetValue(slot, queue);
  }
  return *queue;
}

MessageQueue::MessageQueue() : FInternals(std::make_unique<Internals>()) {
  // The system makes a thread's queue on its first call into the window manager; make it
  // now, so that messages posted before the first wait are kept.
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

MessageQueue::~MessageQueue() {
  for (auto& [hwnd, proc] : FInternals->FWindows) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    DestroyWindow(hwnd);
  }
}

void MessageQueue::Post(const Message& m) {
  PostMessageW(H(m.window), m.message, m.wparam, m.lparam);
}

bool MessageQueue::DispatchOne() {
  MSG msg;
  if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  DispatchMessageW(&msg);
  return true;
}

void MessageQueue::DispatchAll() {
  while (DispatchOne()) {
  }
}

bool MessageQueue::HasMessages() {
  MSG msg;
  return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != 0;
}

int MessageQueue::Wait(std::span<Event* const> events, long ms) {
  // The system waits on one object fewer than its limit beside the queue.
  if (events.size() > MAXIMUM_WAIT_OBJECTS - 1) return kWaitFailed;
  std::vector<HANDLE> handles;
  for (Event* e : events) handles.push_back(reinterpret_cast<HANDLE>(e->NativeHandle()));
  const DWORD count = static_cast<DWORD>(handles.size());
  const ULONGLONG start = GetTickCount64();
  const ULONGLONG budget = ms < 0 ? 0 : static_cast<ULONGLONG>(TicksToRealMs(ms));
  for (;;) {
    DWORD timeout = INFINITE;
    if (ms >= 0) {
      const ULONGLONG spent = GetTickCount64() - start;
      timeout = spent >= budget ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(budget - spent, INFINITE - 1));
    }
    const DWORD r = MsgWaitForMultipleObjectsEx(count, handles.empty() ? nullptr : handles.data(), timeout,
                                                QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (r < WAIT_OBJECT_0 + count) return static_cast<int>(r - WAIT_OBJECT_0);
    if (r == WAIT_OBJECT_0 + count) {
      // Sent messages are handled inside the peek and leave nothing to dispatch: wait on.
      if (HasMessages()) return static_cast<int>(events.size());
      continue;
    }
    if (r == WAIT_TIMEOUT) return kWaitTimeout;
    return kWaitFailed;
  }
}

void MessageQueue::Purge(const std::function<bool(const Message&)>& pred) {
  // The system cannot drop chosen messages in place: take every posted message out and
  // put back, in order, those that stay.
  std::vector<MSG> keep;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
    const Message m{reinterpret_cast<WindowHandle>(msg.hwnd), msg.message, msg.wParam, msg.lParam, 0};
    if (!pred(m)) keep.push_back(msg);
  }
  for (const MSG& k : keep) {
    if (k.hwnd != nullptr)
      PostMessageW(k.hwnd, k.message, k.wParam, k.lParam);
    else
      PostThreadMessageW(GetCurrentThreadId(), k.message, k.wParam, k.lParam);
  }
}

WindowHandle CreateMessageWindow(WindowProc proc) {
  MessageQueue& q = MessageQueue::ForThisThread();
  if (WindowClass() == 0) throw std::runtime_error("RegisterClassEx failed (error " + std::to_string(GetLastError()) + ")");
  HWND hwnd = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (hwnd == nullptr) throw std::runtime_error("CreateWindowEx failed (error " + std::to_string(GetLastError()) + ")");
  auto owned = std::make_unique<WindowProc>(std::move(proc));
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owned.get()));
  q.State().FWindows[hwnd] = std::move(owned);
  return reinterpret_cast<WindowHandle>(hwnd);
}

void DestroyMessageWindow(WindowHandle window) {
  MessageQueue& q = MessageQueue::ForThisThread();
  auto it = q.State().FWindows.find(H(window));
  if (it == q.State().FWindows.end()) return;
  SetWindowLongPtrW(it->first, GWLP_USERDATA, 0);
  DestroyWindow(it->first);
  q.State().FWindows.erase(it);
  // Posted messages to a destroyed window are never dispatched; drop them now anyway.
  q.Purge([window](const Message& m) { return m.window == window; });
}

bool PostMessageTo(WindowHandle window, std::uint32_t message, std::uintptr_t wparam,
                   std::intptr_t lparam) {
  return window != 0 && PostMessageW(H(window), message, wparam, lparam) != 0;
}

void DefaultWindowProc(Message& m) {
  m.result = DefWindowProcW(H(m.window), m.message, m.wparam, m.lparam);
}

}  // namespace zp
