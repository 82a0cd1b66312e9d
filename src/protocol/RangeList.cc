#include "protocol/RangeList.h"

#include <charconv>
#include <limits>

#include "framework/Conversions.h"

namespace zp {
namespace {

// Walks the items of a range list in order and hands each to `literal(item)` or
// `range(a, b)`; either returns false to stop the walk. The list ends at its first
// empty item, as a trailing "," or ",," ends it.
template <typename Literal, typename Range>
void WalkRangeList(std::string_view rest, Literal literal, Range range) {
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = rest.substr(0, comma);
    if (item.empty()) return;
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    const std::size_t dash = item.find('-');
    bool go;
    if (dash == std::string_view::npos) {
      go = literal(item);
    } else {
      // Both ends are 32-bit; they are widened so that b - a + 1 and the loop over a
      // range ending at the largest value cannot overflow.
      const std::int64_t a = FieldToInt(item.substr(0, dash));
      const std::int64_t b = FieldToInt(item.substr(dash + 1));
      go = b < a || range(a, b);
    }
    if (!go) return;
  }
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

}  // namespace zp
