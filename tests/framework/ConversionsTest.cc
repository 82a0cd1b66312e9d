#include <gtest/gtest.h>

#include "framework/Conversions.h"

namespace zp {
namespace {

TEST(FieldToInt, FixedWidthDecimalFields) {
  const struct {
    const char* text;
    std::int32_t value;
  } cases[] = {{"000123", 123}, {"-5", -5},   {"12 ", 0},  {"   ", 0},
               {"abc", 0},      {"", 0},      {" 42", 42}, {"+7", 7},
               {"-", 0},        {"12a4", 0},  {"2147483647", 2147483647},
               {"2147483648", 0}, {"-2147483648", -2147483647 - 1}, {"99999999999", 0}};
  for (const auto& c : cases) EXPECT_EQ(FieldToInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(TrimTrailingBlanks, OnlyBlanksAtTheEnd) {
  EXPECT_EQ(TrimTrailingBlanks("AB  "), "AB");
  EXPECT_EQ(TrimTrailingBlanks("  A\t "), "  A\t");
  EXPECT_EQ(TrimTrailingBlanks("   "), "");
}

TEST(HexToInt, PortBoxTexts) {
  EXPECT_EQ(HexToIntDef("6900"), 26880u);
  EXPECT_EQ(HexToIntDef("FFFF"), 65535u);
  EXPECT_EQ(HexToIntDef("ffff"), 65535u);
  EXPECT_EQ(HexToIntDef(""), 0u);
  EXPECT_EQ(HexToIntDef("12 3"), 0u);
  EXPECT_EQ(HexToIntDef("69G0"), 0u);
  EXPECT_EQ(HexToIntDef("123456789"), 0x23456789u) << "higher digits shift out";

  std::uint32_t v = 99;
  EXPECT_TRUE(HexToInt(v, "6G"));
  EXPECT_EQ(v, 6u) << "keeps the digits read before the failure";
  EXPECT_TRUE(HexToInt(v, ""));
  EXPECT_EQ(v, 0u);
  EXPECT_FALSE(HexToInt(v, "a"));
  EXPECT_EQ(v, 10u);
}

TEST(TryStrToInt, DecimalAndDollarHex) {
  std::int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("26880", v));
  EXPECT_EQ(v, 26880);
  EXPECT_TRUE(TryStrToInt("$6900", v));
  EXPECT_EQ(v, 26880);
  EXPECT_TRUE(TryStrToInt("-12", v));
  EXPECT_EQ(v, -12);
  EXPECT_FALSE(TryStrToInt("", v));
  EXPECT_FALSE(TryStrToInt("abc", v));
  EXPECT_FALSE(TryStrToInt("12x", v));
  EXPECT_FALSE(TryStrToInt("$", v));
  EXPECT_FALSE(TryStrToInt("99999999999", v));
}

// Route entries and host names match whatever the case of their ASCII letters, and only
// then: other bytes, a NUL among them, must be the same.
TEST(SameTextIgnoringCase, OnlyAsciiLettersFold) {
  EXPECT_TRUE(SameTextIgnoringCase("R1=127.0.0.1:27001", "r1=127.0.0.1:27001"));
  EXPECT_TRUE(SameTextIgnoringCase("", ""));
  EXPECT_FALSE(SameTextIgnoringCase("r1", "r1 "));
  EXPECT_FALSE(SameTextIgnoringCase("[", "{")) << "the bytes after Z and z are not letters";
  EXPECT_FALSE(SameTextIgnoringCase("\xC4", "\xE4")) << "no letters beyond ASCII";
  EXPECT_FALSE(SameTextIgnoringCase(std::string_view("a\0b", 3), std::string_view("a\0c", 3)));
}

}  // namespace
}  // namespace zp
