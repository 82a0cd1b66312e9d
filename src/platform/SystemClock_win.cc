#include "platform/SystemClock.h"

#include <windows.h>

namespace zp {

// The system's own tick: what GetTickCount gives, without its 49.7-day wrap (the counter
// above applies that itself).
double SystemMilliseconds() { return static_cast<double>(GetTickCount64()); }

std::tm LocalCalendar(std::time_t when) {
  std::tm tm{};
  localtime_s(&tm, &when);
  return tm;
}

// The local calendar read back as if it were UTC, less the moment itself.
long UtcOffsetSeconds(std::time_t when) {
  std::tm local = LocalCalendar(when);
  return static_cast<long>(_mkgmtime(&local) - when);
}

std::tm UtcCalendar(std::time_t when) {
  std::tm tm{};
  gmtime_s(&tm, &when);
  return tm;
}

}  // namespace zp
