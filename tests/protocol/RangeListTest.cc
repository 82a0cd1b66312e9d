#include "protocol/RangeList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace zp {
namespace {

std::int64_t ItemsOf(const std::string& expanded) {
  return expanded.empty() ? 0 : 1 + std::count(expanded.begin(), expanded.end(), ',');
}

TEST(RangeList, ExpandsAndCountsAlike) {
  const struct {
    const char* text;
    const char* expanded;
  } cases[] = {
      {"1-3,7", "1,2,3,7"},
      {"5-2,8", "8"},           // a range running backwards is dropped
      {"4", "4"},
      {"", ""},
      {"1,,5", "1"},            // the list ends at its first empty item
      {",1", ""},
      {"1,2,", "1,2"},
      {" 1,x y", " 1,x y"},     // items that are not ranges are kept with their blanks
      {"3-3", "3"},
      {"007-9", "7,8,9"},
      {"2-x,5", "5"},           // "x" reads as 0: 0 is below 2
      {"x-2", "0,1,2"},
      {"3--5,6", "6"},          // the end is -5
      {"-2147483648-2147483647", "0"},  // split at the first "-": "" and an invalid end
      {"2147483646-2147483647", "2147483646,2147483647"},
      {"1 -2", "0,1,2"},        // a trailing blank makes "1 " no number: 0
  };
  for (const auto& c : cases) {
    const std::string expanded = ExpandRangeList(c.text);
    EXPECT_EQ(expanded, c.expanded) << c.text;
    EXPECT_EQ(CountRangeListItems(c.text), ItemsOf(expanded)) << c.text;
  }

  EXPECT_EQ(ExpandRangeList("1-25"), "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25");
}

TEST(RangeList, HugeRangesAreCountedNotExpanded) {
  EXPECT_EQ(CountRangeListItems("1-2147483647"), 2147483647);
  EXPECT_EQ(CountRangeListItems("0-2147483647,5"), 2147483649);

  const std::string expanded = ExpandRangeList("1-2147483647");
  EXPECT_EQ(ItemsOf(expanded), static_cast<std::int64_t>(MaxExpandedItems));
  EXPECT_EQ(expanded.substr(0, 6), "1,2,3,");
  EXPECT_EQ(expanded.substr(expanded.size() - 6), ",65536");

  std::string many;
  for (int i = 0; i < 10000; ++i) many += "0-2147483647,";
  EXPECT_EQ(CountRangeListItems(many), 10000 * std::int64_t{2147483648});
  EXPECT_EQ(ItemsOf(ExpandRangeList(many)), static_cast<std::int64_t>(MaxExpandedItems));
}

// A number past 32 bits reads as 0, so "1-99999999999" would count as nothing: such a
// list is told apart. Garbage that is no number at all is not a number that does not fit.
TEST(RangeList, NumbersPast32BitsAreFound) {
  const struct {
    const char* text;
    bool fit;
  } cases[] = {
      {"1-99999999999", false},
      {"99999999999", false},
      {"3,5-7,2147483648", false},
      {"2147483648-1", false},
      {"1--2147483649", false},
      {" +4294967296-5", false},
      {"1-2147483647", true},
      {"1--2147483648", true},
      {"1-3,x-99,7", true},
      {"99999999999 -1", true},  // a trailing blank makes it no number
      {"1,,99999999999", true},  // past the list's end
      {"", true},
  };
  for (const auto& c : cases) EXPECT_EQ(RangeListNumbersFit(c.text), c.fit) << c.text;
}

TEST(RangeList, ItemLimitCutsInsideRangesAndLists) {
  EXPECT_EQ(ExpandRangeList("1-10,20", 5), "1,2,3,4,5");
  EXPECT_EQ(ExpandRangeList("a,b,c", 2), "a,b");
  EXPECT_EQ(ExpandRangeList("1-3,7", 4), "1,2,3,7");
  EXPECT_EQ(ExpandRangeList("1-3", 0), "");
}

}  // namespace
}  // namespace zp
