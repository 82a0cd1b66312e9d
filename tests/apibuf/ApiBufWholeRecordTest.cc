// Every section with a recognisable value in every field, built from this file's own copy of
// the layout (form codes as the layout writes them, members named by hand), must parse back
// into exactly those values. Every text field is filled to its full width and every section
// ends with stray characters, so a field read one character short or long shifts or spoils a
// value.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "ApiBufTestText.h"
#include "apibuf/CoreApiBuf.h"

namespace zp {
namespace {

using namespace apibuf_test;
using Value = std::variant<std::string, std::int32_t, std::int64_t, double>;
using Getter = Value (*)(const TCoreApiBuf&);

#define M(s, k) [](const TCoreApiBuf& r) { return Value(r.S##s##_##k); }
#define F01(s) M(s, 01)
#define F02(s) F01(s), M(s, 02)
#define F03(s) F02(s), M(s, 03)
#define F04(s) F03(s), M(s, 04)
#define F05(s) F04(s), M(s, 05)
#define F06(s) F05(s), M(s, 06)
#define F07(s) F06(s), M(s, 07)
#define F08(s) F07(s), M(s, 08)
#define F09(s) F08(s), M(s, 09)
#define F10(s) F09(s), M(s, 10)
#define F11(s) F10(s), M(s, 11)
#define F12(s) F11(s), M(s, 12)
#define F13(s) F12(s), M(s, 13)
#define F14(s) F13(s), M(s, 14)
#define F15(s) F14(s), M(s, 15)
#define F16(s) F15(s), M(s, 16)
#define F17(s) F16(s), M(s, 17)
#define F18(s) F17(s), M(s, 18)
#define P(s) [](const TCoreApiBuf& r) { return r.S##s##_Present; }

struct SectionCase {
  const char* number;
  bool (*present)(const TCoreApiBuf&);
  // Form codes in field order; "X1" is a character read and dropped. Sections 009, 060, 061
  // and 303 are written by their own code below.
  const char* forms;
  std::vector<Getter> members;
};

const std::vector<SectionCase>& Sections() {
  static const std::vector<SectionCase> k = {
      {"000", P(000), "F35>64", {F01(000)}},
      {"001", P(001), "T2 T1 T1 N4 N5 D6 H6 T1 A14 A14 T1 T6 T1 T1 T1 T1 T255>128", {F17(001)}},
      {"002", P(002), "T35 T30 T9", {F03(002)}},
      {"003", P(003), "N1 N1 N6 D6 D6", {F05(003)}},
      {"004", P(004), "T9 T35 A14 T18 T2 T9 D6 H6 T18 T2 T9 D6 H6 N6 T1", {F15(004)}},
      {"005", P(005), "N2 N2 T20 T16", {F04(005)}},
      {"006", P(006), "N2 N1 N1 L16384", {F04(006)}},
      {"007", P(007), "T10", {F01(007)}},
      {"008", P(008), "T25 T1 A14 T9", {F04(008)}},
      {"009", P(009), "", {}},
      {"010", P(010), "T100", {F01(010)}},
      {"011", P(011), "N2 T24 D6 A14 T24 T10 T80 T1 T1 T10 T24", {F11(011)}},
      {"012", P(012), "T22 T38 T38 T13 T3 T9 T1 T20 T11 T8 T15 T6", {F12(012)}},
      {"013", P(013), "N2", {F01(013)}},
      {"014", P(014), "N2", {F01(014)}},
      {"015", P(015), "T20 T20", {F02(015)}},
      {"016", P(016), "A14 A14 T12 T1", {F04(016)}},
      {"017", P(017), "L16384", {F01(017)}},
      {"018", P(018), "T32", {F01(018)}},
      {"019", P(019), "T32 T10", {F02(019)}},
      {"020", P(020), "T32", {F01(020)}},
      {"021", P(021), "T1 L16384", {F02(021)}},
      {"022", P(022), "T1 T4 T1 T1", {F04(022)}},
      {"023", P(023), "L4096", {F01(023)}},
      {"024", P(024), "L4096", {F01(024)}},
      {"025", P(025), "T1 N5 A14 A14 N6 T24", {F06(025)}},
      {"026", P(026), "T32", {F01(026)}},
      {"027", P(027), "T9 T35 T17 N8 T1 T3 T24", {F07(027)}},
      {"028", P(028), "T1 T6 T7", {F03(028)}},
      {"029", P(029), "T35 T35 T35 T35 T35 T35 T2 T9 T3 T20", {F10(029)}},
      {"030", P(030), "T20 T80", {F02(030)}},
      {"031", P(031), "D6", {F01(031)}},
      {"032", P(032), "D6 H6 D6 H6 N5 T2 T32", {F07(032)}},
      {"033", P(033), "N3 L4096", {F02(033)}},
      {"034", P(034), "T32 T32", {F02(034)}},
      {"035", P(035), "T3 T1 T1 T2 T3 T20 D6 H6 A14 A14 A14", {F11(035)}},
      {"036", P(036), "L4096", {F01(036)}},
      {"040", P(040), "T40>64", {F01(040)}},
      {"049", P(049), "T2 T1 A14", {F03(049)}},
      {"050", P(050), "T2 A14 A14 T15 T4 T2 T2 T1 T1 A14 A14 T6 T2 T15 T4 N2 T1 D6", {F18(050)}},
      {"051", P(051), "T1 N6 T6 T20 T6 T20 N6 T1 T1 T1 T1 T1 T1 T1 X1 X1 X1 L1024", {F15(051)}},
      {"052", P(052), "N5 A14 N5 A14 N6 D6 A14", {F07(052)}},
      {"053", P(053), "T2", {F01(053)}},
      {"060", P(060), "", {}},
      {"061", P(061), "", {}},
      {"062", P(062), "N4", {F01(062)}},
      {"063", P(063), "T16 N4 N4 N4", {F04(063)}},
      {"298", P(298), "T20 N4", {F02(298)}},
      {"299", P(299), "T20", {F01(299)}},
      {"300", P(300), "T10 T16 N4", {F03(300)}},
      {"301", P(301), "T1 L8192", {F02(301)}},
      {"302", P(302), "N10", {F01(302)}},
      {"303", P(303), "", {}},
      {"304", P(304), "D6 N10 N10 A14 T64", {F05(304)}},
      {"305", P(305), "T16", {F01(305)}},
      {"306", P(306), "T1 N10", {F02(306)}},
      {"324", P(324), "T16 T16", {F02(324)}},
      {"399", P(399), "N4 N6", {F02(399)}},
      {"444", P(444), "N2 T6 T1 T1 T16 T8 T10 T2 T3 T6 L255", {F11(444)}},
      {"799", P(799), "T12", {F01(799)}},
      {"900", P(900), "T255", {F01(900)}},
      {"901", P(901), "T255", {F01(901)}},
      {"999", P(999), "T16 L255",
       {[](const TCoreApiBuf& r) { return Value(r.ErrorShortText); },
        [](const TCoreApiBuf& r) { return Value(r.ErrorText); }}},
  };
  return k;
}

// Days since 30 December 1899, counted the long way.
double Serial(int y, int m, int d) {
  auto leap = [](int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; };
  const int monthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  long days = 2;  // 30 and 31 December 1899
  for (int year = 1900; year < y; ++year) days += leap(year) ? 366 : 365;
  for (int month = 1; month < m; ++month) days += monthDays[month - 1] + (month == 2 && leap(y) ? 1 : 0);
  return static_cast<double>(days + d - 1);
}

constexpr char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// Writes one field of the given form with a value drawn from the running number `k`, and
// returns the value the record must then hold.
Value WriteField(std::string& out, std::string_view form, int k) {
  const char kind = form[0];
  const std::size_t gt = form.find('>');
  const int width = std::stoi(std::string(form.substr(1, gt == std::string_view::npos ? form.npos : gt - 1)));
  const int capacity = gt == std::string_view::npos ? width : std::stoi(std::string(form.substr(gt + 1)));
  switch (kind) {
    case 'T':
    case 'L': {
      std::string v;
      for (int i = 0; i < width; ++i) v.push_back(kAlnum[(k * 7 + i) % 62]);
      out += v;
      return v.substr(0, static_cast<std::size_t>(capacity));
    }
    case 'F': {  // dropped characters spread through the field
      std::string v;
      std::string kept;
      const std::string dropped = " \"$%'+,-=?[]\\^`{}~";
      for (int i = 0; i < width; ++i) {
        if (i % 3 == 1) {
          v.push_back(dropped[static_cast<std::size_t>(i) % dropped.size()]);
        } else {
          v.push_back(kAlnum[(k + i) % 62]);
          kept.push_back(v.back());
        }
      }
      out += v;
      return kept;
    }
    case 'N': {  // every digit used; a ten-digit value starts with 1 to stay in 32 bits
      std::string v = width == 10 ? "1" : "";
      while (static_cast<int>(v.size()) < width) v.push_back(static_cast<char>('1' + (k + v.size()) % 9));
      out += v;
      return static_cast<std::int32_t>(std::stol(v));
    }
    case 'A': {  // odd ones negative: the sign is dropped
      const std::int64_t cents = 1000000 + k * 1013;
      char buf[32];
      if (k % 2)
        std::snprintf(buf, sizeof buf, "-%013lld", static_cast<long long>(cents));
      else
        std::snprintf(buf, sizeof buf, "%014lld", static_cast<long long>(cents));
      out += buf;
      return static_cast<std::int64_t>(cents * 100);
    }
    case 'D': {
      const int m = 1 + k % 12, d = 1 + k % 28, y = (k * 13) % 100;
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d%02d%02d", m, d, y);
      out += buf;
      return Serial(y < 90 ? 2000 + y : 1900 + y, m, d);
    }
    case 'H': {
      const int h = 1 + k % 23, mi = (k * 7) % 60, s = (k * 11) % 60;
      char buf[16];
      std::snprintf(buf, sizeof buf, "%02d%02d%02d", h, mi, s);
      out += buf;
      return (h * 3600 + mi * 60 + s) / 86400.0;
    }
    case 'X':
      out += "!";
      return Value{};
  }
  ADD_FAILURE() << "unknown form " << form;
  return Value{};
}

std::vector<std::string> Split(const char* forms) {
  std::vector<std::string> out;
  std::string cur;
  for (const char* p = forms; *p; ++p) {
    if (*p == ' ') {
      out.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(*p);
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

class WholeRecord : public ::testing::TestWithParam<const char*> {};

TEST_P(WholeRecord, EveryFieldOfEverySectionParsesBack) {
  const std::string format = GetParam();
  Header h;
  h.format = format;
  h.h03 = "AB";
  h.h04 = "header four!";
  h.indicator = "P";
  h.code = "123456";
  h.subCode = "789";
  h.h08 = "2147483647";
  h.h09 = "-000000042";
  h.h10 = "   4711   ";
  h.h11 = "thirty-two characters of header";
  std::string text = h.Text();

  const std::string trailer = "#~";  // skipped before the next FS, unless a field over-reads
  std::vector<std::pair<const SectionCase*, std::vector<Value>>> expected;
  int k = 0;
  for (const SectionCase& s : Sections()) {
    std::vector<Value> values;
    const std::vector<std::string> forms = Split(s.forms);
    if (s.number == std::string("060") || s.number == std::string("303")) {
      text += std::string(1, kFs) + "B  12" + s.number;
      text += std::string("ab\x1C" "cd\0ef\x03gh\xFF", 12);
    } else if (s.number == std::string("002") && format == "1") {
      // The nine-character field comes first in format 1.
      std::string a, b, c;
      values = {WriteField(a, forms[0], k), WriteField(b, forms[1], k + 1), WriteField(c, forms[2], k + 2)};
      k += 3;
      text += Sec(s.number, c + a + b);
    } else {
      std::string body;
      for (const std::string& f : forms) {
        Value v = WriteField(body, f, k++);
        if (f[0] != 'X') values.push_back(v);
      }
      if (s.number == std::string("009")) body = "p1^p2^p3" + std::string(4096 - 9, ' ') + "^";
      if (s.number == std::string("061"))
        body = Pad("list header", 20) + "0302" + "item1-abcditem2-efghitem3-ijklitem4-mnopitem5-qrst";
      text += Sec(s.number, body);
    }
    text += trailer;
    ASSERT_EQ(values.size(), s.members.size()) << "section " << s.number;
    expected.emplace_back(&s, std::move(values));
  }
  ASSERT_EQ(expected.size(), 63u);

  TCoreApiBuf r;
  r.Parse(text);

  EXPECT_EQ(r.ApiSignature, "$");
  EXPECT_EQ(r.ApiFormat, format);
  EXPECT_EQ(r.Header03, "AB");
  EXPECT_EQ(r.Header04, "header four!");
  EXPECT_EQ(r.ErrorIndicator, "P");
  EXPECT_EQ(r.ErrorCode, 123456);
  EXPECT_EQ(r.ErrorSubCode, 789);
  EXPECT_EQ(r.Header08, 2147483647);
  EXPECT_EQ(r.Header09, -42);
  EXPECT_EQ(r.Header10, "0000004711");
  EXPECT_EQ(r.Header11, "thirty-two characters of header");

  for (const auto& [s, values] : expected) {
    EXPECT_TRUE(s->present(r)) << "section " << s->number;
    for (std::size_t i = 0; i < values.size(); ++i)
      EXPECT_EQ(s->members[i](r), values[i]) << "section " << s->number << " field " << i + 1;
  }
  EXPECT_EQ(r.S009_01, "p1");
  EXPECT_EQ(r.S009_02, "p2");
  EXPECT_EQ(r.S009_03, "p3" + std::string(62, ' '));
  EXPECT_EQ(r.S009_04, "");
  EXPECT_EQ(r.S060_01, std::string("ab\x1C" "cd\0ef\x03gh\xFF", 12));
  EXPECT_EQ(r.S303_01, r.S060_01);
  EXPECT_EQ(r.S061_01, "list header");
  EXPECT_EQ(r.S061_02, 3);
  EXPECT_EQ(r.S061_03, 2);
  TApiList first{"item1-abcd", "item2-efgh", "item3-ijkl"};
  TApiList second{"item4-mnop", "item5-qrst"};
  EXPECT_EQ(r.S061_04, first);
  EXPECT_EQ(r.S061_05, second);
}

INSTANTIATE_TEST_SUITE_P(Formats, WholeRecord, ::testing::Values("0", "1"));

}  // namespace
}  // namespace zp
