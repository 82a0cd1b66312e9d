#include "platform/Tick.h"

#include <cmath>
#include <mutex>

#include "platform/SystemClock.h"

namespace zp {
namespace {

// The counter is base_tick + (real elapsed since base_time) * scale: the system's own
// milliseconds since it started until a test rebases it. The mutex keeps the three
// values consistent for readers on other threads.
struct TickSource {
  std::mutex mu;
  double base_time = SystemMilliseconds();
  double base_tick = base_time;
  double scale = 1.0;
  bool frozen = false;

  double NowLocked() const {
    if (frozen) return base_tick;
    return base_tick + (SystemMilliseconds() - base_time) * scale;
  }
  void Rebase(double tick) {
    base_time = SystemMilliseconds();
    base_tick = tick;
  }
};

TickSource& Source() {
  static TickSource source;
  return source;
}

}  // namespace

std::uint32_t GetTickCount() {
  TickSource& s = Source();
  std::lock_guard lock(s.mu);
  const double t = std::floor(s.NowLocked());
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(t) & 0xFFFFFFFFull);
}

std::int64_t TicksToRealMs(std::int64_t ms) {
  if (ms <= 0) return 0;
  double scale;
  {
    TickSource& s = Source();
    std::lock_guard lock(s.mu);
    scale = s.scale;
  }
  return static_cast<std::int64_t>(std::ceil(static_cast<double>(ms) / scale));
}

namespace testing {

void SetTickNow(std::uint32_t tick) {
  TickSource& s = Source();
  std::lock_guard lock(s.mu);
  s.Rebase(tick);
}

void SetTimeScale(double scale) {
  TickSource& s = Source();
  std::lock_guard lock(s.mu);
  s.Rebase(s.NowLocked());
  s.frozen = false;
  s.scale = scale > 0 ? scale : 1.0;
}

void FreezeAt(std::uint32_t tick) {
  TickSource& s = Source();
  std::lock_guard lock(s.mu);
  s.Rebase(tick);
  s.frozen = true;
  s.scale = 1.0;
}

double TimeScale() {
  TickSource& s = Source();
  std::lock_guard lock(s.mu);
  return s.scale;
}

void ResetClock() {
  TickSource& s = Source();
  std::lock_guard lock(s.mu);
  s.Rebase(s.NowLocked());
  s.frozen = false;
  s.scale = 1.0;
}

}  // namespace testing
}  // namespace zp
