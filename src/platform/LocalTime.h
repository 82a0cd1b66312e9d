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

}  // namespace zp
