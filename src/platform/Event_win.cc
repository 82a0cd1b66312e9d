#include "platform/Event.h"

#include <windows.h>

#include <stdexcept>

#include "platform/Tick.h"

namespace zp {
namespace {
HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
}  // namespace

Event::Event(Reset mode, bool initially_set) : FMode(mode) {
  HANDLE h = CreateEventW(nullptr, mode == Reset::Manual, initially_set, nullptr);
  if (h == nullptr) throw std::runtime_error("CreateEvent failed");
  FHandle = reinterpret_cast<std::intptr_t>(h);
}

Event::~Event() { CloseHandle(H(FHandle)); }

void Event::Set() { SetEvent(H(FHandle)); }

void Event::ResetEvent() { ::ResetEvent(H(FHandle)); }

// A zero wait takes an auto-reset event's signal, as the system's waits do.
bool Event::TryClaim() { return WaitForSingleObject(H(FHandle), 0) == WAIT_OBJECT_0; }

bool Event::Wait(long ms) {
  const DWORD timeout = ms < 0 ? INFINITE : static_cast<DWORD>(TicksToRealMs(ms));
  return WaitForSingleObject(H(FHandle), timeout) == WAIT_OBJECT_0;
}

}  // namespace zp
