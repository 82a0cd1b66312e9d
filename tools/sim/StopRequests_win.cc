#include <windows.h>

#include "StopRequests.h"

namespace zp::sim {
namespace {

// Manual-reset events, made before the handler can run and never closed.
HANDLE requested = nullptr;
HANDLE done = nullptr;

// Runs on a thread the system starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      SetEvent(requested);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // The process ends as soon as this returns: hold it until the orderly end is done
      // (the system allows a few seconds for that).
      SetEvent(requested);
      WaitForSingleObject(done, 4000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void CatchStopRequests() {
  requested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // A program started in a new process group begins with Ctrl+C ignored; take it back.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void WaitForStopRequest(double seconds) {
  DWORD ms = INFINITE;
  if (seconds > 0) ms = seconds * 1000 >= 0xfffffffe ? 0xfffffffe : static_cast<DWORD>(seconds * 1000 + 0.5);
  WaitForSingleObject(requested, ms);
}

void StopRequestDone() { SetEvent(done); }

}  // namespace zp::sim
