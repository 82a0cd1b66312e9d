#include "platform/StopRequests.h"

#include <windows.h>

#include <atomic>
#include <cmath>

namespace zp {
namespace {

// Manual-reset events, made before the handler can run and never closed.
HANDLE g_requested = nullptr;
HANDLE g_done = nullptr;
std::atomic<const char*> g_name{nullptr};

const char* EventName(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT: return "Ctrl+C";
    case CTRL_BREAK_EVENT: return "Ctrl+Break";
    case CTRL_CLOSE_EVENT: return "the console's close";
    case CTRL_LOGOFF_EVENT: return "the log-off";
    default: return "the shut-down";
  }
}

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD type) {
  const char* none = nullptr;
  const bool first = g_name.compare_exchange_strong(none, EventName(type));
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // The second one goes on to the system's handler, which ends the program.
      if (!first) return FALSE;
      SetEvent(g_requested);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The process ends as soon as this returns: hold it until the orderly end is done
      // (the system allows a few seconds for that).
      SetEvent(g_requested);
      WaitForSingleObject(g_done, 4000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchStopRequests() {
  if (g_requested == nullptr) {
    g_requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  // A program started in a new process group begins with Ctrl+C ignored; take it back.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

const char* StopRequestName() { return g_name.load(); }

bool WaitForStopRequest(double seconds) {
  DWORD ms = INFINITE;
  if (seconds > 0) ms = seconds * 1000 >= 0xfffffffe ? 0xfffffffe : static_cast<DWORD>(std::ceil(seconds * 1000));
  WaitForSingleObject(g_requested, ms);
  return StopRequested();
}

void StopRequestDone() { SetEvent(g_done); }

}  // namespace zp
