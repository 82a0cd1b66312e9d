#include "framework/ZTimer.h"

#include "platform/Tick.h"

namespace zp {

void ZTimer::StartMilliseconds(std::uint16_t ms) {
  const std::uint32_t now = GetTickCount();
  FStartTick = static_cast<std::int32_t>(now);
  FExpireTick = static_cast<std::int32_t>(now + ms);
}

void ZTimer::StartSeconds(std::uint16_t seconds) {
  const std::uint32_t now = GetTickCount();
  FStartTick = static_cast<std::int32_t>(now);
  FExpireTick = static_cast<std::int32_t>(now + std::uint32_t{seconds} * 1000u + 10u);
}

bool ZTimer::Expired() const {
  return TickPassed(GetTickCount(), static_cast<std::uint32_t>(FExpireTick));
}

}  // namespace zp
