#pragma once
#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace zp {

// The tracking table's lock: a recursive lock with a short fixed-size name (cut to 8).
class ZMTCriticalSection {
 public:
  explicit ZMTCriticalSection(const std::string& name);
  virtual ~ZMTCriticalSection() = default;
  ZMTCriticalSection(const ZMTCriticalSection&) = delete;
  ZMTCriticalSection& operator=(const ZMTCriticalSection&) = delete;

  void Enter() { FLock.lock(); }
  void Leave() { FLock.unlock(); }
  void lock() { Enter(); }
  void unlock() { Leave(); }
  std::string Name() const { return std::string(FName.data(), FNameLength); }

 private:
  std::recursive_mutex FLock;
  std::array<char, 8> FName{};
  std::size_t FNameLength = 0;
};

inline constexpr int kTrackSlots = 64;
inline constexpr std::size_t kTrackNameCapacity = 20;

struct TrackSlot {
  std::int32_t count = 0;
  std::int32_t bytes = 0;
  std::string name;  // at most 20 characters; empty means free
};

// Per-class counts of live objects and their bytes. StartTracking must run before
// anything else touches the table; the lock then lives until the process ends.
void StartTracking();
void StopTracking();
// The slot for `name` (cut to 20), adding it when new; -1 when all 64 hold other names.
int RegisterTrackedClass(const std::string& name);
// Slots outside 0..63 (a class that found the table full) are ignored.
void TrackCreate(int slot, std::int32_t size);
void TrackDestroy(int slot, std::int32_t size);
// A consistent copy of one slot (for diagnostics and tests).
TrackSlot TrackedSlot(int slot);

}  // namespace zp
