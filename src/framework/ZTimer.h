#pragma once
#include <cstdint>

namespace zp {

// A deadline on the 32-bit tick counter. Expired() compares by signed difference, so
// the wrap at 2^32 and the sign change halfway do not matter for any deadline less
// than 2^31 ms ahead (every one this class can hold).
class ZTimer {
 public:
  ZTimer() { StartMilliseconds(0); }

  void StartMilliseconds(std::uint16_t ms);
  // A 10 ms margin: a start with 0 seconds expires 11 ms later, not at once.
  void StartSeconds(std::uint16_t seconds);
  // Strictly after the deadline; at the deadline itself not yet.
  bool Expired() const;

  std::int32_t StartTick() const { return FStartTick; }
  std::int32_t ExpireTick() const { return FExpireTick; }

 private:
  std::int32_t FStartTick = 0;
  std::int32_t FExpireTick = 0;
};

}  // namespace zp
