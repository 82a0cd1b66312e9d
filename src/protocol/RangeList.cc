#include "protocol/RangeList.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "framework/Conversions.h"

namespace zp {
namespace {

// Hands each item of a range list to `item(text)`, in order, until it returns false. The
// list ends at its first empty item, as a trailing "," or ",," ends it.
template <typename Item>
void ForEachItem(std::string_view rest, Item item) {
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string_view text = rest.substr(0, comma);
    if (text.empty() || !item(text)) return;
    if (comma == std::string_view::npos) return;
    rest = rest.substr(comma + 1);
  }
}

// Walks the items of a range list in order and hands each to `literal(item)` or
// `range(a, b)`; either returns false to stop the walk.
template <typename Literal, typename Range>
void WalkRangeList(std::string_view text, Literal literal, Range range) {
  ForEachItem(text, [&](std::string_view item) {
    const std::size_t dash = item.find('-');
    if (dash == std::string_view::npos) return literal(item);
    // Both ends are 32-bit; they are widened so that b - a + 1 and the loop over a range
    // ending at the largest value cannot overflow.
    const std::int64_t a = FieldToInt(item.substr(0, dash));
    const std::int64_t b = FieldToInt(item.substr(dash + 1));
    return b < a || range(a, b);
  });
}

// A field as FieldToInt reads it (leading blanks, a sign, digits) whose value is past 32
// bits, which FieldToInt gives as 0.
bool NumberTooLarge(std::string_view field) {
  std::size_t i = field.find_first_not_of(' ');
  if (i == std::string_view::npos) return false;
  const bool negative = field[i] == '-';
  if (field[i] == '+' || negative) ++i;
  if (i == field.size()) return false;
  std::int64_t value = 0;
  constexpr std::int64_t kPast = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  for (; i < field.size(); ++i) {
    if (field[i] < '0' || field[i] > '9') return false;
    value = std::min(kPast, value * 10 + (field[i] - '0'));
  }
  return value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + (negative ? 1 : 0);
}

}  // namespace

std::string ExpandRangeList(std::string_view text, std::size_t max_items) {
  std::string result;
  std::size_t items = 0;
  auto separate = [&] {
    if (!result.empty()) result += ',';
    ++items;
  };
  WalkRangeList(
      text,
      [&](std::string_view item) {
        if (items >= max_items) return false;
        separate();
        result += item;
        return true;
      },
      [&](std::int64_t a, std::int64_t b) {
        for (std::int64_t v = a; v <= b; ++v) {
          if (items >= max_items) return false;
          separate();
          char digits[24];
          const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
          result.append(digits, end);
        }
        return true;
      });
  return result;
}

std::int64_t CountRangeListItems(std::string_view text) {
  constexpr std::int64_t largest = std::numeric_limits<std::int64_t>::max();
  std::int64_t count = 0;
  // Each range adds at most 2^32 items, so one step can only overflow from near the
  // top; saturate instead.
  auto add = [&](std::int64_t n) {
    count = count > largest - n ? largest : count + n;
    return true;
  };
  WalkRangeList(
      text, [&](std::string_view) { return add(1); },
      [&](std::int64_t a, std::int64_t b) { return add(b - a + 1); });
  return count;
}

bool RangeListNumbersFit(std::string_view text) {
  bool fit = true;
  ForEachItem(text, [&](std::string_view item) {
    const std::size_t dash = item.find('-');
    fit = dash == std::string_view::npos
              ? !NumberTooLarge(item)
              : !NumberTooLarge(item.substr(0, dash)) && !NumberTooLarge(item.substr(dash + 1));
    return fit;
  });
  return fit;
}

}  // namespace zp
