#pragma once
#include <string>

namespace zp {

// The console runner's checks of what the operator typed, made before any test runs so
// that a mistake is a usage error rather than a surprise minutes later. Each returns what
// is wrong, or an empty text when the value is fine (as CLI11's validators do).

// The longest --timeout: a year. Past it the deadline is of no use to anyone, and far past
// it the clock's arithmetic would overflow.
inline constexpr double kLongestTimeoutSeconds = 365.0 * 24 * 3600;

// --port: 1 to FFFF in hexadecimal digits and nothing else (as the window's Port box).
std::string CheckPortOption(const std::string& text);
// --timeout: a finite number of seconds from 0 (no limit) to kLongestTimeoutSeconds.
std::string CheckTimeoutOption(const std::string& text);
// A file the run replaces when it ends (--prometheus-textfile, --report): a name in a
// folder that exists, where nothing but a regular file stands (see ReplaceProblem).
std::string CheckOutputFile(const std::string& path);
// --report: "-" for standard output, or as CheckOutputFile.
std::string CheckReportOption(const std::string& path);

// The most runs --history lists at once.
inline constexpr int kMostHistoryShown = 1000000;
// --history N: 1 to kMostHistoryShown in decimal digits and nothing else; a value that
// would wrap around, a sign or a hexadecimal form is refused rather than read as another.
std::string CheckHistoryCountOption(const std::string& text);
// The count CheckHistoryCountOption accepted.
int ParseHistoryCount(const std::string& text);
// The oldest age --older-than and --history-max-age take: a hundred years.
inline constexpr int kLongestAgeDays = 36500;
// --older-than, --history-max-age: whole days, 1 to kLongestAgeDays, in decimal digits.
std::string CheckDaysOption(const std::string& text);
// A path that must name something (--history-db).
std::string CheckNonEmpty(const std::string& text);

}  // namespace zp
