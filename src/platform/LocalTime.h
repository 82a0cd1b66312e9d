#pragma once
#include <ctime>
#include <string>
#include <string_view>

namespace zp {

// Formats local date-time with the tokens ddd (English abbreviated day name), mm, dd,
// hh (24-hour), nn (minutes), ss; every other character is copied. The separators
// are "/" and ":" as written in the pattern.
std::string FormatDateTime(std::string_view pattern, std::time_t when);
std::string FormatNow(std::string_view pattern);
// The moment a shown time stands for: the clock, or the fixed time while a test sets one.
std::time_t ShownTimeNow();

// ISO 8601 local date-time with the zone's offset: "2026-12-07T22:29:53+01:00".
std::string FormatIso8601Local(std::time_t when);
// ISO 8601 UTC date-time: "2026-12-07T21:29:53Z".
std::string FormatIso8601Utc(std::time_t when);

// Test-only: FormatNow and ShownTimeNow use `when` instead of the clock while it is non-zero, so that
// texts holding the date (a logout's free text) are the same in every run.
namespace testing {
void FixLocalTime(std::time_t when);
}  // namespace testing

}  // namespace zp
