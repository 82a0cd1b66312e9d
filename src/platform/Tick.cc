#include "platform/Tick.h"

#include <cmath>
#include <mutex>

#include "platform/SystemClock.h"

namespace zp {
namespace {

// The counter is FBaseTick + (real elapsed since FBaseTime) * FScale: the system's own
// milliseconds since it started until a test rebases it. The mutex keeps the three
// values consistent for readers on other threads.
struct TickSource {
  std::mutex FLock;
  double FBaseTime = SystemMilliseconds();
  double FBaseTick = FBaseTime;
  double FScale = 1.0;
  bool FFrozen = false;

  double NowLocked() const {
    if (FFrozen) return FBaseTick;
    return FBaseTick + (SystemMilliseconds() - FBaseTime) * FScale;
  }
  void Rebase(double tick) {
    FBaseTime = SystemMilliseconds();
    FBaseTick = tick;
  }
};

TickSource& Source() {
  static TickSource source;
  return source;
}

}  // namespace

std::uint32_t GetTickCount() {
  TickSource& s = Source();
  std::lock_guard lock(s.FLock);
  const double t = std::floor(s.NowLocked());
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(t) & 0xFFFFFFFFull);
}

std::int64_t TicksToRealMs(std::int64_t ms) {
  if (ms <= 0) return 0;
  double scale;
  {
    TickSource& s = Source();
    std::lock_guard lock(s.FLock);
    scale = s.FScale;
  }
  return static_cast<std::int64_t>(std::ceil(static_cast<double>(ms) / scale));
}

namespace testing {

void SetTickNow(std::uint32_t tick) {
  TickSource& s = Source();
  std::lock_guard lock(s.FLock);
  s.Rebase(tick);
}

void SetTimeScale(double scale) {
  TickSource& s = Source();
  std::lock_guard lock(s.FLock);
  s.Rebase(s.NowLocked());
  s.FFrozen = false;
  s.FScale = scale > 0 ? scale : 1.0;
}

void FreezeAt(std::uint32_t tick) {
  TickSource& s = Source();
  std::lock_guard lock(s.FLock);
  s.Rebase(tick);
  s.FFrozen = true;
  s.FScale = 1.0;
}

double TimeScale() {
  TickSource& s = Source();
  std::lock_guard lock(s.FLock);
  return s.FScale;
}

void ResetClock() {
  TickSource& s = Source();
  std::lock_guard lock(s.FLock);
  s.Rebase(s.NowLocked());
  s.FFrozen = false;
  s.FScale = 1.0;
}

}  // namespace testing
}  // namespace zp
