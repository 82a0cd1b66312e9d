#pragma once
#include <ctime>

// Inside the platform only: the system's own clocks.
namespace zp {

// Milliseconds since the system started, which the tick counter follows (and tests scale).
double SystemMilliseconds();

// `when` in the local time zone, thread-safe.
std::tm LocalCalendar(std::time_t when);
std::tm UtcCalendar(std::time_t when);

// How far the local time zone was ahead of UTC at `when`, in seconds.
long UtcOffsetSeconds(std::time_t when);

}  // namespace zp
