#include "apibuf/ApiBufValues.h"

#include <chrono>
#include <limits>

namespace zp {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipBlanks(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  return i;
}

}  // namespace

bool TryApiDecimal(std::string_view text, std::int32_t& value) {
  std::size_t i = SkipBlanks(text);
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  std::int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (!IsDigit(text[i])) return false;
    v = v * 10 + (text[i] - '0');
    if (v > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return false;
  }
  if (negative) v = -v;
  if (v > std::numeric_limits<std::int32_t>::max()) return false;
  value = static_cast<std::int32_t>(v);
  return true;
}

bool TryApiAmount(std::string_view text, Currency& value) {
  // Exact decimal arithmetic: an amount is digits with at most a point, and a money value
  // must not pick up binary rounding. The number divided by 100, times the Currency scale
  // of 10 000, is the number times 100: its whole part and first two decimals, rounded
  // half up on the third.
  constexpr Currency kPerWhole = kCurrencyScale / 100;
  constexpr Currency kLimit = std::numeric_limits<Currency>::max() / kPerWhole - 1;
  std::size_t i = SkipBlanks(text);
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  Currency whole = 0;
  int digits = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
    whole = whole * 10 + (text[i] - '0');
    if (whole > kLimit) return false;
  }
  Currency units = whole * kPerWhole;
  if (i < text.size() && text[i] == '.') {
    int decimals = 0;
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits, ++decimals) {
      const int d = text[i] - '0';
      if (decimals == 0) units += d * 10;
      if (decimals == 1) units += d;
      if (decimals == 2 && d >= 5) units += 1;
    }
  }
  if (digits == 0 || i != text.size()) return false;
  value = units;
  return true;
}

bool TryEncodeDate(std::int32_t year, std::int32_t month, std::int32_t day, TDateTime& value) {
  using namespace std::chrono;
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31) return false;
  const year_month_day ymd{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                           std::chrono::day{static_cast<unsigned>(day)}};
  if (!ymd.ok()) return false;
  constexpr year_month_day kEpoch{std::chrono::year{1899}, std::chrono::month{12}, std::chrono::day{30}};
  value = static_cast<TDateTime>((sys_days{ymd} - sys_days{kEpoch}).count());
  return true;
}

bool TryEncodeTime(std::int32_t hours, std::int32_t minutes, std::int32_t seconds, TDateTime& value) {
  if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59) return false;
  constexpr double kSecondsPerDay = 24 * 60 * 60;
  value = (hours * 3600 + minutes * 60 + seconds) / kSecondsPerDay;
  return true;
}

bool ApiDateFromNumber(std::int32_t mmddyy, TDateTime& value) {
  value = 0;
  if (mmddyy <= 0) return true;
  const std::int32_t month = mmddyy / 10000 % 100;
  const std::int32_t day = mmddyy / 100 % 100;
  std::int32_t year = mmddyy % 100 + 1900;
  // A two-digit year below 90 is in the 2000s.
  if (year < 1990) year += 100;
  if (TryEncodeDate(year, month, day, value)) return true;
  value = 0;
  return false;
}

bool ApiTimeFromNumber(std::int32_t hhmmss, TDateTime& value) {
  value = 0;
  if (hhmmss <= 0) return true;
  if (TryEncodeTime(hhmmss / 10000 % 100, hhmmss / 100 % 100, hhmmss % 100, value)) return true;
  value = 0;
  return false;
}

}  // namespace zp
