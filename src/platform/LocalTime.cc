#include "platform/LocalTime.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <utility>
#include <cstdio>

#include "platform/SystemClock.h"

namespace zp {

std::string FormatDateTime(std::string_view pattern, std::time_t when) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  const std::tm tm = LocalCalendar(when);
  // The two-digit tokens and the field each stands for.
  const std::pair<std::string_view, int> numbers[] = {{"mm", tm.tm_mon + 1}, {"dd", tm.tm_mday},
                                                       {"hh", tm.tm_hour},   {"nn", tm.tm_min},
                                                       {"ss", tm.tm_sec}};
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    const std::string_view rest = pattern.substr(i);
    if (rest.starts_with("ddd")) {
      out += kDays[tm.tm_wday % 7];
      i += 3;
      continue;
    }
    const auto token = std::find_if(std::begin(numbers), std::end(numbers),
                                    [&](const auto& n) { return rest.starts_with(n.first); });
    if (token == std::end(numbers)) {
      out += pattern[i++];
      continue;
    }
    char two[8];
    std::snprintf(two, sizeof two, "%02d", token->second % 100);
    out += two;
    i += 2;
  }
  return out;
}

std::string FormatIso8601Local(std::time_t when) {
  const std::tm local = LocalCalendar(when);
  char stamp[40];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  // strftime's %z gives "+0100"; ISO 8601 readers expect the colon.
  const long offset = UtcOffsetSeconds(when);
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char zone[48];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
  return std::string(stamp) + zone;
}

std::string FormatIso8601Utc(std::time_t when) {
  const std::tm utc = UtcCalendar(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

namespace {
std::atomic<std::time_t> g_fixed_time{0};
}  // namespace

std::time_t ShownTimeNow() {
  const std::time_t fixed = g_fixed_time.load();
  return fixed != 0 ? fixed : std::time(nullptr);
}

std::string FormatNow(std::string_view pattern) { return FormatDateTime(pattern, ShownTimeNow()); }

void testing::FixLocalTime(std::time_t when) { g_fixed_time = when; }

}  // namespace zp
