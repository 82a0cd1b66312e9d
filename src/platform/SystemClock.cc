#include "platform/SystemClock.h"

#include <chrono>

namespace zp {

// The monotonic clock, which on this system counts from its start.
double SystemMilliseconds() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::tm LocalCalendar(std::time_t when) {
  std::tm tm{};
  localtime_r(&when, &tm);
  return tm;
}

long UtcOffsetSeconds(std::time_t when) { return LocalCalendar(when).tm_gmtoff; }

std::tm UtcCalendar(std::time_t when) {
  std::tm tm{};
  gmtime_r(&when, &tm);
  return tm;
}

}  // namespace zp
