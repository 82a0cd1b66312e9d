#include "platform/Event.h"

#include <windows.h>

#include <stdexcept>

#include "platform/Tick.h"

namespace zp {
namespace {
HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

Event::Event(Reset mode, bool initially_set) : mode_(mode) {
  HANDLE h = CreateEventW(nullptr, mode == Reset::Manual, initially_set, nullptr);
  if (h == nullptr) throw std::runtime_error("CreateEvent failed");
  handle_ = reinterpret_cast<std::intptr_t>(h);
}

Event::~Event() { CloseHandle(H(handle_)); }

void Event::Set() { SetEvent(H(handle_)); }

void Event::ResetEvent() { ::ResetEvent(H(handle_)); }

// A zero wait takes an auto-reset event's signal, as the system's waits do.
bool Event::TryClaim() { return WaitForSingleObject(H(handle_), 0) == WAIT_OBJECT_0; }

bool Event::Wait(long ms) {
  const DWORD timeout = ms < 0 ? INFINITE : static_cast<DWORD>(TicksToRealMs(ms));
  return WaitForSingleObject(H(handle_), timeout) == WAIT_OBJECT_0;
}

}  // namespace zp
