#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ApiBufTestText.h"
#include "apibuf/ApiBufValues.h"
#include "apibuf/CoreApiBuf.h"

namespace zp {
namespace {

using namespace apibuf_test;

TCoreApiBuf Parsed(const std::string& text) {
  TCoreApiBuf r;
  r.Parse(text);
  return r;
}

void ExpectError(const TCoreApiBuf& r, std::int32_t code, std::int32_t sub, const char* shortText,
                 const char* longText) {
  EXPECT_EQ(r.ErrorIndicator, "Y");
  EXPECT_EQ(r.ErrorCode, code);
  EXPECT_EQ(r.ErrorSubCode, sub);
  EXPECT_EQ(r.ErrorShortText, shortText);
  EXPECT_EQ(r.ErrorText, longText);
}

// --- Header ---------------------------------------------------------------------------

TEST(ApiBufHeader, HeaderOnlyChangesNothingButTheHeader) {
  Header h;
  h.code = "000123";
  const TCoreApiBuf r = Parsed(h.Text());
  TCoreApiBuf expected;
  expected.ApiSignature = "$";
  expected.ApiFormat = "0";
  expected.ErrorIndicator = "N";
  expected.ErrorCode = 123;
  EXPECT_TRUE(r == expected) << "every presence flag False, every member at its default";
  EXPECT_EQ(r.S035_06, "0.00000");
}

TEST(ApiBufHeader, SignatureAndFormatChecks) {
  Header h;
  h.signature = "#";
  ExpectError(Parsed(h.Text()), 9990, 0, "Invalid API Sig", "Invalid API Signature -- expecting '$'");
  ExpectError(Parsed(""), 9990, 0, "Invalid API Sig", "Invalid API Signature -- expecting '$'");

  h = Header{};
  h.format = "2";
  ExpectError(Parsed(h.Text()), 9991, 0, "Invalid API Fmt", "Invalid API Format -- expecting \"0\" or \"1\"");
  ExpectError(Parsed("$"), 9991, 0, "Invalid API Fmt", "Invalid API Format -- expecting \"0\" or \"1\"");

  for (const char* format : {"0", "1"}) {
    h = Header{};
    h.format = format;
    h.code = "  4711";
    h.subCode = "12";
    const TCoreApiBuf r = Parsed(h.Text());
    EXPECT_EQ(r.ErrorIndicator, "N");
    EXPECT_EQ(r.ErrorCode, 4711);
    EXPECT_EQ(r.ErrorSubCode, 12);
    EXPECT_EQ(r.ErrorText, "");
  }
}

TEST(ApiBufHeader, IndicatorMapping) {
  for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
           {"Y", "Y"}, {"P", "P"}, {"N", "N"}, {" ", "N"}, {"y", "N"}, {"X", "N"}}) {
    Header h;
    h.indicator = in;
    EXPECT_EQ(Parsed(h.Text()).ErrorIndicator, out) << "indicator '" << in << "'";
  }
}

TEST(ApiBufHeader, CarriedFieldsAndZeroFill) {
  Header h;
  h.h08 = "  -17";
  h.h09 = "12x";
  h.h10 = "  12 ";
  TCoreApiBuf r = Parsed(h.Text());
  EXPECT_EQ(r.Header08, -17);
  EXPECT_EQ(r.Header09, 0) << "not a number";
  EXPECT_EQ(r.Header10, "0000000012");
  h.h10 = "ABCDEFGHIJ";
  EXPECT_EQ(Parsed(h.Text()).Header10, "ABCDEFGHIJ");
  h.h10 = "";
  EXPECT_EQ(Parsed(h.Text()).Header10, "");
}

TEST(ApiBufHeader, NulsEarlyAreSpacesLaterTheyEndTheText) {
  std::string text = HeaderText();
  text[4] = '\0';   // inside Header04
  text[74] = '\0';  // the last one treated as a space
  text += Sec("007", "first") + std::string(1, '\0') + Sec("010", "never");
  TCoreApiBuf r = Parsed(text);
  EXPECT_EQ(r.ErrorIndicator, "N");
  EXPECT_EQ(r.S007_01, "first");
  EXPECT_FALSE(r.S010_Present);

  text = HeaderText();
  text[75] = '\0';  // inside Header11: ends the header and the text
  text += Sec("007", "x");
  r = Parsed(text);
  EXPECT_FALSE(r.S007_Present);
  EXPECT_EQ(r.ErrorIndicator, "N");
}

TEST(ApiBufHeader, SeparatorInsideTheHeaderStartsTheSections) {
  const TCoreApiBuf r = Parsed("$0" + Sec("007", "abc"));
  EXPECT_EQ(r.ApiFormat, "0");
  EXPECT_EQ(r.Header04, "");
  EXPECT_EQ(r.ErrorCode, 0);
  EXPECT_EQ(r.S007_01, "abc");
  EXPECT_EQ(r.ErrorIndicator, "N");
}

// --- Fields -----------------------------------------------------------------------------

// Section 001 up to field 16: fixed values, then field 17.
std::string Sec001(const std::string& field17) {
  return Sec("001", "ab" "c" "d" "1234" "12345" "010100" "120000" "e" + std::string(28, '0') +
                        "f" "ghijkl" "mnop" + field17);
}

TEST(ApiBufFields, Section001Field17OnlyWhenLongerThanTen) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec001("0123456789"));
  EXPECT_TRUE(r.S001_Present);
  EXPECT_EQ(r.S001_16, "p");
  EXPECT_EQ(r.S001_17, "");
  r = Parsed(HeaderText() + Sec001("0123456789A"));
  EXPECT_EQ(r.S001_17, "0123456789A");
  const std::string longest(255, 'k');
  r = Parsed(HeaderText() + Sec001(longest + "tail"));
  EXPECT_EQ(r.S001_17, std::string(128, 'k'));
  // A short field 17 in a second occurrence keeps the first one's value.
  r = Parsed(HeaderText() + Sec001("0123456789A") + Sec001("short"));
  EXPECT_EQ(r.S001_17, "0123456789A");
}

TEST(ApiBufFields, DatesAndTimes) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec("032", "123199" "235959" "010100" "000000"));
  EXPECT_EQ(r.S032_01, 36525.0) << "31 December 1999";
  EXPECT_DOUBLE_EQ(r.S032_02, 86399.0 / 86400.0);
  EXPECT_EQ(r.S032_03, 36526.0) << "1 January 2000";
  EXPECT_EQ(r.S032_04, 0.0);
  EXPECT_EQ(r.ErrorIndicator, "N");
  EXPECT_EQ(r.ErrorCode, 0);
  EXPECT_EQ(Parsed(HeaderText() + Sec("031", "022900")).S031_01, 36585.0) << "2000 is a leap year";
  EXPECT_EQ(Parsed(HeaderText() + Sec("031", "010190")).S031_01, 32874.0) << "90 is 1990";
  EXPECT_EQ(Parsed(HeaderText() + Sec("031", "123189")).S031_01, 69398.0) << "89 is 2089";
}

TEST(ApiBufFields, InvalidDateOrTimeIsRecordedAndReadingGoesOn) {
  TCoreApiBuf r =
      Parsed(HeaderText() + Sec("001", "ab" "c" "d" "1234" "12345" "130199") + Sec("007", "after"));
  ExpectError(r, 9992, 3, "Invalid dt data", "Invalid numeric data for date field");
  EXPECT_EQ(r.S001_06, 0.0);
  EXPECT_EQ(r.S001_04, 1234);
  EXPECT_EQ(r.S007_01, "after");

  r = Parsed(HeaderText() + Sec("031", "022989"));  // 2089 is not a leap year
  EXPECT_EQ(r.ErrorShortText, "Invalid dt data");
  r = Parsed(HeaderText() + Sec("032", "010100" "246000"));
  ExpectError(r, 9992, 3, "Invalid tm data", "Invalid numeric data for time field");

  // A later section 999 replaces the texts but not the code.
  r = Parsed(HeaderText() + Sec("031", "999999") + Sec("999", Pad("gateway", 16) + "gateway says no"));
  EXPECT_EQ(r.ErrorCode, 9992);
  EXPECT_EQ(r.ErrorShortText, "gateway");
  EXPECT_EQ(r.ErrorText, "gateway says no");
}

TEST(ApiBufFields, AmountsDropTheSign) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec("049", "ab" "c" "-0000000012345"));
  EXPECT_EQ(r.S049_03, 123 * 10000 + 4500) << "123.45";
  r = Parsed(HeaderText() + Sec("049", "ab" "c" "   12,5"));
  EXPECT_EQ(r.S049_03, 0) << "not a number";
  EXPECT_FALSE(r.ErrorIndicator == "Y");
}

TEST(ApiBufFields, Section009SplitsAtCarets) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec("009", "a^b"));
  EXPECT_EQ(r.S009_01, "a");
  EXPECT_EQ(r.S009_02, "b");
  EXPECT_EQ(r.S009_03, "");
  EXPECT_EQ(r.S009_04, "");
  r = Parsed(HeaderText() + Sec("009", std::string(70, 'x') + "^^c^d^ignored"));
  EXPECT_EQ(r.S009_01, std::string(64, 'x'));
  EXPECT_EQ(r.S009_02, "");
  EXPECT_EQ(r.S009_03, "c");
  EXPECT_EQ(r.S009_04, "d");
}

TEST(ApiBufFields, TextFormsDropAndTrim) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec("007", "a\x80" "b\xFF c  ") + Sec("000", "A B\"C$D#\xE9" "E"));
  EXPECT_EQ(r.S007_01, "ab c") << "high characters dropped, trailing spaces removed";
  EXPECT_EQ(r.S000_01, "ABCD#E") << "only the filtered set stays";
  EXPECT_TRUE(r.S000_Present);
}

TEST(ApiBufFields, Section002OrderFollowsTheFormat) {
  const std::string body = Pad("first", 35) + Pad("second", 30) + Pad("third", 9);
  TCoreApiBuf r = Parsed(HeaderText() + Sec("002", body));
  EXPECT_EQ(r.S002_01, "first");
  EXPECT_EQ(r.S002_02, "second");
  EXPECT_EQ(r.S002_03, "third");
  Header h;
  h.format = "1";
  r = Parsed(h.Text() + Sec("002", Pad("nine", 9) + Pad("thirty-five", 35) + "thirty"));
  EXPECT_EQ(r.S002_01, "thirty-five");
  EXPECT_EQ(r.S002_02, "thirty");
  EXPECT_EQ(r.S002_03, "nine");
}

// --- Sections -------------------------------------------------------------------------

TEST(ApiBufSections, LettersInTheNumberEndTheReading) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec("007", "kept") + Sec("0A7", "x") + Sec("010", "lost"));
  EXPECT_EQ(r.S007_01, "kept");
  EXPECT_FALSE(r.S010_Present);
  EXPECT_EQ(r.ErrorIndicator, "N");
  EXPECT_FALSE(Parsed(HeaderText() + std::string(1, kFs) + Sec("010", "lost")).S010_Present)
      << "an empty number ends the reading too";
}

TEST(ApiBufSections, UnknownNumbersAndStrayCharactersAreSkipped) {
  TCoreApiBuf r = Parsed(HeaderText() + "stray" + Sec("037", "ignored\x1B content") +
                         Sec("007", Pad("x", 10)) + "junk");
  EXPECT_EQ(r.S007_01, "x");
  r = Parsed(HeaderText() + Sec("007", "x") + std::string(1, kEtx) + Sec("010", "after ETX"));
  EXPECT_FALSE(r.S010_Present);
}

TEST(ApiBufSections, Section035DefaultOnlyWhileAbsent) {
  EXPECT_EQ(Parsed(HeaderText()).S035_06, "0.00000");
  const TCoreApiBuf r = Parsed(HeaderText() + Sec("035", "abc" "d" "e" "fg" "hij"));
  EXPECT_TRUE(r.S035_Present);
  EXPECT_EQ(r.S035_05, "hij");
  EXPECT_EQ(r.S035_06, "");
}

TEST(ApiBufSections, FieldCutShortAndRepeatedSection) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec("019", "first") + Sec("019", Pad("a", 32) + "b"));
  EXPECT_EQ(r.S019_01, "a");
  EXPECT_EQ(r.S019_02, "b");
  r = Parsed(HeaderText() + Sec("019", Pad("a", 32) + "b") + Sec("019", ""));
  EXPECT_EQ(r.S019_01, "") << "an empty value is still stored";
  EXPECT_EQ(r.S019_02, "");
  EXPECT_TRUE(r.S019_Present) << "and never lowers the flag";
}

TEST(ApiBufSections, Section061Lists) {
  TCoreApiBuf r =
      Parsed(HeaderText() + Sec("061", Pad("name", 20) + "0200" + "A         " + std::string(10, ' ')));
  EXPECT_EQ(r.S061_02, 2);
  EXPECT_EQ(r.S061_03, 0);
  EXPECT_EQ(r.S061_04[0], "A");
  EXPECT_EQ(r.S061_04[1], "");
  EXPECT_EQ(r.S061_05, TApiList{});

  // Empty items keep what an earlier occurrence stored.
  r = Parsed(HeaderText() + Sec("061", Pad("", 20) + "0201" + "one       two       three") +
             Sec("061", Pad("", 20) + "0200" + std::string(10, ' ') + "TWO"));
  EXPECT_EQ(r.S061_04[0], "one");
  EXPECT_EQ(r.S061_04[1], "TWO");
  EXPECT_EQ(r.S061_05[0], "three");

  // Items beyond the 24th are read and dropped; the cursor stays on the writer's layout.
  std::string items;
  for (int i = 1; i <= 99; ++i) items += Pad("i" + std::to_string(i), 10);
  r = Parsed(HeaderText() + Sec("061", Pad("many", 20) + "9901" + items + "second") + Sec("007", "next"));
  EXPECT_EQ(r.S061_04[23], "i24");
  EXPECT_EQ(r.S061_05[0], "second");
  EXPECT_EQ(r.S007_01, "next");
  r = Parsed(HeaderText() + Sec("061", Pad("", 20) + "-1-5" + "x"));
  EXPECT_EQ(r.S061_04, TApiList{});
}

TEST(ApiBufSections, ByteSections) {
  const std::string bytes("a\x1C" "b\0c", 5);
  TCoreApiBuf r = Parsed(HeaderText() + std::string(1, kFs) + "B   5060" + bytes + Sec("007", "next"));
  EXPECT_EQ(r.S060_01, bytes);
  EXPECT_TRUE(r.S060_Present);
  EXPECT_EQ(r.S007_01, "next");

  // A count past the end of the text: nothing stored and nothing read beyond the text.
  r = Parsed(HeaderText() + std::string(1, kFs) + "B9999303" + "short");
  EXPECT_EQ(r.S303_01, "");
  EXPECT_FALSE(r.S303_Present);
  EXPECT_EQ(r.ErrorIndicator, "N");

  // No "B", a zero or unreadable count: nothing read, the content is skipped as stray text.
  for (const std::string& head : {std::string("060"), std::string("B   0060"), std::string("B x  060")}) {
    r = Parsed(HeaderText() + std::string(1, kFs) + head + "abc" + Sec("007", "next"));
    EXPECT_FALSE(r.S060_Present) << head;
    EXPECT_EQ(r.S007_01, "next") << head;
  }
}

TEST(ApiBufSections, ParseStartsClearedAndParseBytesIgnoresNothing) {
  TCoreApiBuf r = Parsed(HeaderText() + Sec("007", "x") + Sec("035", ""));
  r.ParseBytes(0, "$0");
  r.ParseBytes(-5, "$0");
  EXPECT_EQ(r.S007_01, "x") << "a count of 0 or less leaves the record";
  const std::string text = HeaderText() + Sec("010", "y");
  r.ParseBytes(static_cast<std::int32_t>(text.size()), text.data());
  EXPECT_FALSE(r.S007_Present);
  EXPECT_EQ(r.S035_06, "0.00000");
  EXPECT_EQ(r.S010_01, "y");
}

// --- Errors and setters ----------------------------------------------------------------

TEST(ApiBufSetError, RangesAndTexts) {
  TCoreApiBuf r;
  r.SetError(0, 0, "short", "");
  EXPECT_EQ(r.ErrorIndicator, "N");
  EXPECT_EQ(r.ErrorShortText, "short");
  EXPECT_EQ(r.ErrorText, "short");

  r.SetError(1000000, 5, "a text longer than sixteen", "long");
  EXPECT_EQ(r.ErrorIndicator, "Y");
  EXPECT_EQ(r.ErrorCode, 989898);
  EXPECT_EQ(r.ErrorSubCode, 5);
  EXPECT_EQ(r.ErrorShortText, "a text longer th");
  EXPECT_EQ(r.ErrorText, "long");
  r.SetError(1, 1000, "", "");
  EXPECT_EQ(r.ErrorCode, 1);
  EXPECT_EQ(r.ErrorSubCode, 999);
  r.SetError(-1, -1, "", "");
  EXPECT_EQ(r.ErrorCode, 989898);
  EXPECT_EQ(r.ErrorSubCode, 999);
  r.SetError(0, 999, "", "");
  EXPECT_EQ(r.ErrorSubCode, 999);
  EXPECT_EQ(r.ErrorIndicator, "Y");
}

TEST(ApiBufSetters, PresenceFlagsCapacitiesAndLists) {
  TCoreApiBuf r;
  r.Set(&TCoreApiBuf::S007_01, "");
  r.Set(&TCoreApiBuf::S013_01, 0);
  r.Set(&TCoreApiBuf::S016_01, Currency{0});
  r.Set(&TCoreApiBuf::S031_01, 0.0);
  r.Set(&TCoreApiBuf::S035_06, "");
  EXPECT_FALSE(r.S007_Present || r.S013_Present || r.S016_Present || r.S031_Present || r.S035_Present);
  EXPECT_EQ(r.S035_06, "") << "empty values are stored";

  r.Set(&TCoreApiBuf::S007_01, "0123456789AB");
  EXPECT_EQ(r.S007_01, "0123456789");
  r.Set(&TCoreApiBuf::S040_01, std::string(70, 'w'));
  EXPECT_EQ(r.S040_01.size(), 64u) << "capacity, not width";
  r.Set(&TCoreApiBuf::S017_01, std::string(20000, 'k'));
  EXPECT_EQ(r.S017_01.size(), 20000u) << "long texts are unbounded";
  r.Set(&TCoreApiBuf::S013_01, -3);
  r.Set(&TCoreApiBuf::S031_01, 1.5);
  EXPECT_TRUE(r.S007_Present && r.S040_Present && r.S017_Present && r.S013_Present && r.S031_Present);

  r.SetItem(&TCoreApiBuf::S061_05, 24, "last entry!");
  r.SetItem(&TCoreApiBuf::S061_05, 25, "none");
  r.SetItem(&TCoreApiBuf::S061_05, 0, "none");
  r.SetItem(&TCoreApiBuf::S061_05, 24, "");
  EXPECT_EQ(r.S061_05[23], "last entry");
  EXPECT_TRUE(r.S061_Present);

  r.SetBytes(&TCoreApiBuf::S303_01, 3, "\0\1\2");
  EXPECT_EQ(r.S303_01, std::string("\0\1\2", 3));
  EXPECT_TRUE(r.S303_Present);

  r.SetErrorText("text");
  EXPECT_TRUE(r.S999_Present);
  r.Set(&TCoreApiBuf::Header04, "a header value that is long");
  EXPECT_EQ(r.Header04, "a header val");

  r.Clear();
  EXPECT_TRUE(r == TCoreApiBuf{});
  EXPECT_EQ(r.S035_06, "0.00000");
}

// --- Conversions --------------------------------------------------------------------------

TEST(ApiBufValues, AmountConversion) {
  struct Case {
    const char* text;
    bool ok;
    Currency value;
  };
  for (const Case& c : {Case{"12345", true, 1234500}, Case{"-0000000012345", true, 1234500},
                        Case{"+7", true, 700}, Case{"  1", true, 100}, Case{"123.4", true, 12340},
                        Case{"1.234", true, 123}, Case{"1.235", true, 124}, Case{".5", true, 50},
                        Case{"7.", true, 700}, Case{"99999999999999", true, 9999999999999900},
                        Case{"", false, 0}, Case{"-", false, 0}, Case{".", false, 0}, Case{"1e5", false, 0},
                        Case{"1 2", false, 0}, Case{"1,5", false, 0}, Case{"0x10", false, 0},
                        Case{"99999999999999999999", false, 0}}) {
    Currency v = -1;
    EXPECT_EQ(TryApiAmount(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(ApiBufValues, DecimalConversion) {
  std::int32_t v = 0;
  EXPECT_TRUE(TryApiDecimal(" -17", v));
  EXPECT_EQ(v, -17);
  EXPECT_TRUE(TryApiDecimal("-2147483648", v));
  EXPECT_EQ(v, std::numeric_limits<std::int32_t>::min());
  for (const char* bad : {"", " ", "-", "2147483648", "1 ", "$10", "0x1", "1a"})
    EXPECT_FALSE(TryApiDecimal(bad, v)) << bad;
}

}  // namespace
}  // namespace zp
