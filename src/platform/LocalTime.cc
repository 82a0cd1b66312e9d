#include "platform/LocalTime.h"

#include <atomic>
#include <cstdio>

namespace zp {

std::string FormatDateTime(std::string_view pattern, std::time_t when) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::tm tm{};
  localtime_r(&when, &tm);
  std::string out;
  char buf[8];
  auto two = [&](int v) {
    std::snprintf(buf, sizeof buf, "%02d", v % 100);
    out += buf;
  };
  for (std::size_t i = 0; i < pattern.size();) {
    const std::string_view rest = pattern.substr(i);
    if (rest.starts_with("ddd")) {
      out += kDays[tm.tm_wday % 7];
      i += 3;
    } else if (rest.starts_with("mm")) {
      two(tm.tm_mon + 1);
      i += 2;
    } else if (rest.starts_with("dd")) {
      two(tm.tm_mday);
      i += 2;
    } else if (rest.starts_with("hh")) {
      two(tm.tm_hour);
      i += 2;
    } else if (rest.starts_with("nn")) {
      two(tm.tm_min);
      i += 2;
    } else if (rest.starts_with("ss")) {
      two(tm.tm_sec);
      i += 2;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

namespace {
std::atomic<std::time_t> g_fixed_time{0};
}  // namespace

std::string FormatNow(std::string_view pattern) {
  const std::time_t fixed = g_fixed_time.load();
  return FormatDateTime(pattern, fixed != 0 ? fixed : std::time(nullptr));
}

void testing::FixLocalTime(std::time_t when) { g_fixed_time = when; }

}  // namespace zp
