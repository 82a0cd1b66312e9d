#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {

// Expansion stops after this many items: a peer's heartbeat may announce a range such
// as 1-2147483647. Lists of real record numbers are far shorter.
inline constexpr std::size_t MaxExpandedItems = 65536;

// Expands a comma-separated list of numbers and ranges "a-b" into single items:
// "1-3,7" gives "1,2,3,7". A range whose end is below its start gives nothing, an item
// without "-" is kept as it is (blanks included), and the list ends at its first empty
// item ("1,,5" gives "1"). At most `max_items` items are produced; the rest are left
// out, so for larger lists use CountRangeListItems.
std::string ExpandRangeList(std::string_view text, std::size_t max_items = MaxExpandedItems);

// The number of items ExpandRangeList would produce without a limit (commas plus one
// of its result, 0 for an empty result), computed without expanding. Saturates at the
// largest 64-bit value.
std::int64_t CountRangeListItems(std::string_view text);

// False when an item of the list (up to its end, as ExpandRangeList reads it), or an end
// of one of its ranges, is a number past 32 bits: "1-99999999999" names records that were
// never sent, where the ends themselves would read as 0 and the range as nothing.
bool RangeListNumbersFit(std::string_view text);

}  // namespace zp
