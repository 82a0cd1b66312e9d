#include "framework/MemTrack.h"

#include <algorithm>

namespace zp {

ZMTCriticalSection::ZMTCriticalSection(const std::string& name) {
  FNameLength = std::min(name.size(), FName.size());
  std::copy_n(name.data(), FNameLength, FName.data());
}

namespace {

std::array<TrackSlot, kTrackSlots> g_slots;
// Made by StartTracking and never destroyed, so late destructors can still report.
ZMTCriticalSection* g_lock = nullptr;

}  // namespace

void StartTracking() {
  if (g_lock == nullptr) g_lock = new ZMTCriticalSection("mem.cs");
  std::lock_guard guard(*g_lock);
  for (TrackSlot& s : g_slots) s = TrackSlot{};
}

void StopTracking() {}

// Before StartTracking there is no table to use: nothing is registered or counted,
// rather than touching a lock that does not exist.
int RegisterTrackedClass(const std::string& name) {
  if (g_lock == nullptr) return -1;
  std::lock_guard guard(*g_lock);
  for (int i = 0; i < kTrackSlots; ++i) {
    TrackSlot& s = g_slots[static_cast<std::size_t>(i)];
    // Compare before testing for emptiness: an empty name finds the first free slot
    // without taking it.
    if (s.name == name) return i;
    if (s.name.empty()) {
      s.name = name.substr(0, kTrackNameCapacity);
      return i;
    }
  }
  return -1;
}

void TrackCreate(int slot, std::int32_t size) {
  if (slot < 0 || slot >= kTrackSlots || g_lock == nullptr) return;
  std::lock_guard guard(*g_lock);
  TrackSlot& s = g_slots[static_cast<std::size_t>(slot)];
  s.count += 1;
  s.bytes += size;
}

void TrackDestroy(int slot, std::int32_t size) {
  if (slot < 0 || slot >= kTrackSlots || g_lock == nullptr) return;
  std::lock_guard guard(*g_lock);
  TrackSlot& s = g_slots[static_cast<std::size_t>(slot)];
  s.count -= 1;
  s.bytes -= size;
}

TrackSlot TrackedSlot(int slot) {
  if (slot < 0 || slot >= kTrackSlots || g_lock == nullptr) return {};
  std::lock_guard guard(*g_lock);
  return g_slots[static_cast<std::size_t>(slot)];
}

}  // namespace zp
