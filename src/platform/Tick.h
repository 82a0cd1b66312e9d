#pragma once
#include <cstdint>

// The system's 32-bit millisecond tick counter. It wraps at 2^32 (about 49.7 days),
// so compare ticks only through signed differences (see TickPassed).
namespace zp {

std::uint32_t GetTickCount();

// True when `now` is strictly past `deadline`, across the wrap and the sign change.
inline bool TickPassed(std::uint32_t now, std::uint32_t deadline) {
  return static_cast<std::int32_t>(now - deadline) > 0;
}

// Converts a wait of `ms` tick milliseconds into real milliseconds under the
// current time scale (rounded up, so a non-zero wait never becomes zero).
std::int64_t TicksToRealMs(std::int64_t ms);

// Test-only controls. Product code never calls these.
namespace testing {
// The counter continues from `tick` now (e.g. a few seconds before the wrap).
void SetTickNow(std::uint32_t tick);
// Time runs `scale` times faster for the counter and for every platform wait.
void SetTimeScale(double scale);
// Stops the counter at `tick`; it moves only through SetTickNow. Waits then take
// real time at scale 1.
void FreezeAt(std::uint32_t tick);
double TimeScale();
// Back to the real clock, scale 1.
void ResetClock();
}  // namespace testing

}  // namespace zp
