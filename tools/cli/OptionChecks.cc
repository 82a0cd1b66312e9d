#include "cli/OptionChecks.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "platform/AtomicFile.h"
#include "run/TraceLine.h"
#include "session/TestRequest.h"

namespace zp {

std::string CheckPortOption(const std::string& text) {
  if (ParsePortText(text)) return {};
  return "\"" + EscapeControls(text) + "\" is not a port: give 1 to FFFF in hexadecimal digits (0-9, A-F)";
}

std::string CheckTimeoutOption(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(begin, &end);
  const bool number = !text.empty() && end == begin + text.size() && errno == 0;
  if (number && std::isfinite(seconds) && seconds >= 0 && seconds <= kLongestTimeoutSeconds) return {};
  return "\"" + EscapeControls(text) + "\" is not a time-out: give seconds from 0 (no limit) to " +
         std::to_string(static_cast<long long>(kLongestTimeoutSeconds)) + " (a year)";
}

std::string CheckOutputFile(const std::string& path) {
  if (path.empty()) return "an empty path names no file";
  return EscapeControls(ReplaceProblem(path));
}

std::string CheckReportOption(const std::string& path) { return path == "-" ? std::string() : CheckOutputFile(path); }

int ParseHistoryCount(const std::string& text) {
  long long count = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return 0;
    count = count * 10 + (c - '0');
    if (count > kMostHistoryShown) return 0;
  }
  return static_cast<int>(count);
}

std::string CheckHistoryCountOption(const std::string& text) {
  if (ParseHistoryCount(text) >= 1) return {};
  return "\"" + EscapeControls(text) + "\" is not a number of runs: give 1 to " + std::to_string(kMostHistoryShown) +
         " in decimal digits";
}

std::string CheckDaysOption(const std::string& text) {
  const bool digits = !text.empty() && text.size() <= 5 &&
                      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (digits && std::stoi(text) >= 1 && std::stoi(text) <= kLongestAgeDays) return {};
  return "\"" + EscapeControls(text) + "\" is not an age: give whole days from 1 to " + std::to_string(kLongestAgeDays);
}

std::string CheckNonEmpty(const std::string& text) { return text.empty() ? "an empty path names no file" : ""; }

}  // namespace zp
