#include "apibuf/ApiBufLayout.h"

#include <array>
#include <cstddef>

namespace zp {
namespace {

using C = TCoreApiBufFields;

inline constexpr std::int32_t kAmountWidth = 14;
inline constexpr std::int32_t kDateWidth = 6;  // MMDDYY
inline constexpr std::int32_t kTimeWidth = 6;  // HHMMSS
inline constexpr std::int32_t kHeaderLength = 88;

// Builders named after the layout's form codes: Tn, Tn>m, Ln, Fn>m, Nn, A14, D6, H6, B.
constexpr ApiField TextField(ApiForm form, std::int32_t width, std::int32_t capacity, std::string C::*m) {
  ApiField f;
  f.form = form;
  f.width = width;
  f.capacity = capacity;
  f.text = m;
  return f;
}
constexpr ApiField T(std::int32_t width, std::string C::*m) {
  return TextField(ApiForm::Text, width, width, m);
}
constexpr ApiField T(std::int32_t width, std::int32_t capacity, std::string C::*m) {
  return TextField(ApiForm::Text, width, capacity, m);
}
constexpr ApiField L(std::int32_t width, std::string C::*m) {
  return TextField(ApiForm::Text, width, kApiUnbounded, m);
}
constexpr ApiField F(std::int32_t width, std::int32_t capacity, std::string C::*m) {
  return TextField(ApiForm::Filtered, width, capacity, m);
}
constexpr ApiField B(std::string C::*m) { return TextField(ApiForm::Bytes, 0, kApiUnbounded, m); }
constexpr ApiField Split(std::int32_t width) { return TextField(ApiForm::Split, width, 0, nullptr); }
constexpr ApiField Part(std::int32_t capacity, std::string C::*m) {
  return TextField(ApiForm::Part, 0, capacity, m);
}
constexpr ApiField Skip(std::int32_t width) { return TextField(ApiForm::Skip, width, 0, nullptr); }
constexpr ApiField N(std::int32_t width, std::int32_t C::*m) {
  ApiField f;
  f.form = ApiForm::Integer;
  f.width = width;
  f.integer = m;
  return f;
}
constexpr ApiField A(Currency C::*m) {
  ApiField f;
  f.form = ApiForm::Amount;
  f.width = kAmountWidth;
  f.amount = m;
  return f;
}
constexpr ApiField DateOrTime(ApiForm form, std::int32_t width, TDateTime C::*m) {
  ApiField f;
  f.form = form;
  f.width = width;
  f.date = m;
  return f;
}
constexpr ApiField D(TDateTime C::*m) { return DateOrTime(ApiForm::Date, kDateWidth, m); }
constexpr ApiField H(TDateTime C::*m) { return DateOrTime(ApiForm::Time, kTimeWidth, m); }
constexpr ApiField List(std::int32_t width, TApiList C::*m, std::int32_t C::*count) {
  ApiField f;
  f.form = ApiForm::List;
  f.width = width;
  f.capacity = width;
  f.list = m;
  f.count = count;
  return f;
}

constexpr ApiField kHeader[] = {
    T(1, &C::ApiSignature), T(1, &C::ApiFormat), T(2, &C::Header03), T(12, &C::Header04),
    TextField(ApiForm::Indicator, 1, 1, &C::ErrorIndicator), N(6, &C::ErrorCode), N(3, &C::ErrorSubCode),
    N(10, &C::Header08), N(10, &C::Header09), TextField(ApiForm::ZeroFilled, 10, 10, &C::Header10),
    T(32, &C::Header11),
};

constexpr std::int32_t HeaderWidth() {
  std::int32_t n = 0;
  for (const ApiField& f : kHeader) n += f.width;
  return n;
}
static_assert(HeaderWidth() == kHeaderLength);

// One line of the layout below: a section marker or one of the fields that follow it.
struct Entry {
  constexpr Entry(ApiField f) : field(f) {}  // implicit: the table lists fields bare
  constexpr Entry(std::int32_t number, bool C::*present, bool lastFieldFirstInFormat1)
      : isSection(true), section{number, present, lastFieldFirstInFormat1, {}} {}
  bool isSection = false;
  ApiSection section;
  ApiField field;
};

inline constexpr bool kLastFieldFirstInFormat1 = true;
constexpr Entry Section(std::int32_t number, bool C::*present, bool lastFieldFirstInFormat1 = false) {
  return Entry(number, present, lastFieldFirstInFormat1);
}

// The sections in ascending order, each a marker followed by its fields in reading order.
constexpr Entry kLayout[] = {
    Section(0, &C::S000_Present), F(35, 64, &C::S000_01),
    Section(1, &C::S001_Present), T(2, &C::S001_01), T(1, &C::S001_02), T(1, &C::S001_03),
        N(4, &C::S001_04), N(5, &C::S001_05), D(&C::S001_06), H(&C::S001_07), T(1, &C::S001_08),
        A(&C::S001_09), A(&C::S001_10), T(1, &C::S001_11), T(6, &C::S001_12), T(1, &C::S001_13),
        T(1, &C::S001_14), T(1, &C::S001_15), T(1, &C::S001_16),
        T(255, 128, &C::S001_17).StoredWhenLongerThan(10),
    Section(2, &C::S002_Present, kLastFieldFirstInFormat1), T(35, &C::S002_01), T(30, &C::S002_02),
        T(9, &C::S002_03),
    Section(3, &C::S003_Present), N(1, &C::S003_01), N(1, &C::S003_02), N(6, &C::S003_03), D(&C::S003_04),
        D(&C::S003_05),
    Section(4, &C::S004_Present), T(9, &C::S004_01), T(35, &C::S004_02), A(&C::S004_03), T(18, &C::S004_04),
        T(2, &C::S004_05), T(9, &C::S004_06), D(&C::S004_07), H(&C::S004_08), T(18, &C::S004_09),
        T(2, &C::S004_10), T(9, &C::S004_11), D(&C::S004_12), H(&C::S004_13), N(6, &C::S004_14),
        T(1, &C::S004_15),
    Section(5, &C::S005_Present), N(2, &C::S005_01), N(2, &C::S005_02), T(20, &C::S005_03),
        T(16, &C::S005_04),
    Section(6, &C::S006_Present), N(2, &C::S006_01), N(1, &C::S006_02), N(1, &C::S006_03),
        L(16384, &C::S006_04),
    Section(7, &C::S007_Present), T(10, &C::S007_01),
    Section(8, &C::S008_Present), T(25, &C::S008_01), T(1, &C::S008_02), A(&C::S008_03), T(9, &C::S008_04),
    Section(9, &C::S009_Present), Split(4096), Part(64, &C::S009_01), Part(64, &C::S009_02),
        Part(64, &C::S009_03), Part(64, &C::S009_04),
    Section(10, &C::S010_Present), T(100, &C::S010_01),
    Section(11, &C::S011_Present), N(2, &C::S011_01), T(24, &C::S011_02), D(&C::S011_03), A(&C::S011_04),
        T(24, &C::S011_05), T(10, &C::S011_06), T(80, &C::S011_07), T(1, &C::S011_08), T(1, &C::S011_09),
        T(10, &C::S011_10), T(24, &C::S011_11),
    Section(12, &C::S012_Present), T(22, &C::S012_01), T(38, &C::S012_02), T(38, &C::S012_03),
        T(13, &C::S012_04), T(3, &C::S012_05), T(9, &C::S012_06), T(1, &C::S012_07), T(20, &C::S012_08),
        T(11, &C::S012_09), T(8, &C::S012_10), T(15, &C::S012_11), T(6, &C::S012_12),
    Section(13, &C::S013_Present), N(2, &C::S013_01),
    Section(14, &C::S014_Present), N(2, &C::S014_01),
    Section(15, &C::S015_Present), T(20, &C::S015_01), T(20, &C::S015_02),
    Section(16, &C::S016_Present), A(&C::S016_01), A(&C::S016_02), T(12, &C::S016_03), T(1, &C::S016_04),
    Section(17, &C::S017_Present), L(16384, &C::S017_01),
    Section(18, &C::S018_Present), T(32, &C::S018_01),
    Section(19, &C::S019_Present), T(32, &C::S019_01), T(10, &C::S019_02),
    Section(20, &C::S020_Present), T(32, &C::S020_01),
    Section(21, &C::S021_Present), T(1, &C::S021_01), L(16384, &C::S021_02),
    Section(22, &C::S022_Present), T(1, &C::S022_01), T(4, &C::S022_02), T(1, &C::S022_03),
        T(1, &C::S022_04),
    Section(23, &C::S023_Present), L(4096, &C::S023_01),
    Section(24, &C::S024_Present), L(4096, &C::S024_01),
    Section(25, &C::S025_Present), T(1, &C::S025_01), N(5, &C::S025_02), A(&C::S025_03), A(&C::S025_04),
        N(6, &C::S025_05), T(24, &C::S025_06),
    Section(26, &C::S026_Present), T(32, &C::S026_01),
    Section(27, &C::S027_Present), T(9, &C::S027_01), T(35, &C::S027_02), T(17, &C::S027_03),
        N(8, &C::S027_04), T(1, &C::S027_05), T(3, &C::S027_06), T(24, &C::S027_07),
    Section(28, &C::S028_Present), T(1, &C::S028_01), T(6, &C::S028_02), T(7, &C::S028_03),
    Section(29, &C::S029_Present), T(35, &C::S029_01), T(35, &C::S029_02), T(35, &C::S029_03),
        T(35, &C::S029_04), T(35, &C::S029_05), T(35, &C::S029_06), T(2, &C::S029_07), T(9, &C::S029_08),
        T(3, &C::S029_09), T(20, &C::S029_10),
    Section(30, &C::S030_Present), T(20, &C::S030_01), T(80, &C::S030_02),
    Section(31, &C::S031_Present), D(&C::S031_01),
    Section(32, &C::S032_Present), D(&C::S032_01), H(&C::S032_02), D(&C::S032_03), H(&C::S032_04),
        N(5, &C::S032_05), T(2, &C::S032_06), T(32, &C::S032_07),
    Section(33, &C::S033_Present), N(3, &C::S033_01), L(4096, &C::S033_02),
    Section(34, &C::S034_Present), T(32, &C::S034_01), T(32, &C::S034_02),
    Section(35, &C::S035_Present), T(3, &C::S035_01), T(1, &C::S035_02), T(1, &C::S035_03),
        T(2, &C::S035_04), T(3, &C::S035_05), T(20, &C::S035_06), D(&C::S035_07), H(&C::S035_08),
        A(&C::S035_09), A(&C::S035_10), A(&C::S035_11),
    Section(36, &C::S036_Present), L(4096, &C::S036_01),
    Section(40, &C::S040_Present), T(40, 64, &C::S040_01),
    Section(49, &C::S049_Present), T(2, &C::S049_01), T(1, &C::S049_02), A(&C::S049_03),
    Section(50, &C::S050_Present), T(2, &C::S050_01), A(&C::S050_02), A(&C::S050_03), T(15, &C::S050_04),
        T(4, &C::S050_05), T(2, &C::S050_06), T(2, &C::S050_07), T(1, &C::S050_08), T(1, &C::S050_09),
        A(&C::S050_10), A(&C::S050_11), T(6, &C::S050_12), T(2, &C::S050_13), T(15, &C::S050_14),
        T(4, &C::S050_15), N(2, &C::S050_16), T(1, &C::S050_17), D(&C::S050_18),
    Section(51, &C::S051_Present), T(1, &C::S051_01), N(6, &C::S051_02), T(6, &C::S051_03),
        T(20, &C::S051_04), T(6, &C::S051_05), T(20, &C::S051_06), N(6, &C::S051_07), T(1, &C::S051_08),
        T(1, &C::S051_09), T(1, &C::S051_10), T(1, &C::S051_11), T(1, &C::S051_12), T(1, &C::S051_13),
        T(1, &C::S051_14), Skip(1), Skip(1), Skip(1), L(1024, &C::S051_15),
    Section(52, &C::S052_Present), N(5, &C::S052_01), A(&C::S052_02), N(5, &C::S052_03), A(&C::S052_04),
        N(6, &C::S052_05), D(&C::S052_06), A(&C::S052_07),
    Section(53, &C::S053_Present), T(2, &C::S053_01),
    Section(60, &C::S060_Present), B(&C::S060_01),
    Section(61, &C::S061_Present), T(20, &C::S061_01), N(2, &C::S061_02), N(2, &C::S061_03),
        List(10, &C::S061_04, &C::S061_02), List(10, &C::S061_05, &C::S061_03),
    Section(62, &C::S062_Present), N(4, &C::S062_01),
    Section(63, &C::S063_Present), T(16, &C::S063_01), N(4, &C::S063_02), N(4, &C::S063_03),
        N(4, &C::S063_04),
    Section(298, &C::S298_Present), T(20, &C::S298_01), N(4, &C::S298_02),
    Section(299, &C::S299_Present), T(20, &C::S299_01),
    Section(300, &C::S300_Present), T(10, &C::S300_01), T(16, &C::S300_02), N(4, &C::S300_03),
    Section(301, &C::S301_Present), T(1, &C::S301_01), L(8192, &C::S301_02),
    Section(302, &C::S302_Present), N(10, &C::S302_01),
    Section(303, &C::S303_Present), B(&C::S303_01),
    Section(304, &C::S304_Present), D(&C::S304_01), N(10, &C::S304_02), N(10, &C::S304_03), A(&C::S304_04),
        T(64, &C::S304_05),
    Section(305, &C::S305_Present), T(16, &C::S305_01),
    Section(306, &C::S306_Present), T(1, &C::S306_01), N(10, &C::S306_02),
    Section(324, &C::S324_Present), T(16, &C::S324_01), T(16, &C::S324_02),
    Section(399, &C::S399_Present), N(4, &C::S399_01), N(6, &C::S399_02),
    Section(444, &C::S444_Present), N(2, &C::S444_01), T(6, &C::S444_02), T(1, &C::S444_03),
        T(1, &C::S444_04), T(16, &C::S444_05), T(8, &C::S444_06), T(10, &C::S444_07), T(2, &C::S444_08),
        T(3, &C::S444_09), T(6, &C::S444_10), L(255, &C::S444_11),
    Section(799, &C::S799_Present), T(12, &C::S799_01),
    Section(900, &C::S900_Present), T(255, &C::S900_01),
    Section(901, &C::S901_Present), T(255, &C::S901_01),
    Section(999, &C::S999_Present), T(16, &C::ErrorShortText), L(255, &C::ErrorText),
};

constexpr std::size_t CountSections() {
  std::size_t n = 0;
  for (const Entry& e : kLayout) n += e.isSection ? 1 : 0;
  return n;
}

constexpr std::size_t kSectionCount = CountSections();
constexpr std::size_t kFieldCount = std::size(kLayout) - kSectionCount;

constexpr std::array<ApiField, kFieldCount> BuildFields() {
  std::array<ApiField, kFieldCount> fields{};
  std::size_t f = 0;
  for (const Entry& e : kLayout)
    if (!e.isSection) fields[f++] = e.field;
  return fields;
}
constexpr std::array<ApiField, kFieldCount> kFields = BuildFields();

// The sections, each viewing its run of kFields.
constexpr std::array<ApiSection, kSectionCount> BuildSections() {
  std::array<ApiSection, kSectionCount> sections{};
  std::size_t s = 0;
  std::size_t f = 0;
  for (std::size_t i = 0; i < std::size(kLayout); ++i) {
    if (!kLayout[i].isSection) continue;
    std::size_t n = 0;
    while (i + 1 + n < std::size(kLayout) && !kLayout[i + 1 + n].isSection) ++n;
    sections[s] = kLayout[i].section;
    sections[s].fields = std::span<const ApiField>(kFields.data() + f, n);
    ++s;
    f += n;
  }
  return sections;
}
constexpr std::array<ApiSection, kSectionCount> kSections = BuildSections();

constexpr bool Ascending() {
  for (std::size_t i = 1; i < kSectionCount; ++i)
    if (kSections[i - 1].number >= kSections[i].number) return false;
  return true;
}
static_assert(Ascending(), "sections are listed in ascending order, each once");

// Section number (000 to 999) to its index in kSections, -1 where there is none.
constexpr std::int32_t kMaxSectionNumber = 999;
constexpr std::array<std::int16_t, kMaxSectionNumber + 1> BuildIndex() {
  std::array<std::int16_t, kMaxSectionNumber + 1> index{};
  for (auto& i : index) i = -1;
  for (std::size_t s = 0; s < kSectionCount; ++s)
    index[static_cast<std::size_t>(kSections[s].number)] = static_cast<std::int16_t>(s);
  return index;
}
constexpr std::array<std::int16_t, kMaxSectionNumber + 1> kSectionIndex = BuildIndex();

template <typename M>
ApiMemberRef Find(M TCoreApiBufFields::*member, M TCoreApiBufFields::*ApiField::*slot) {
  for (const ApiField& f : kHeader)
    if (f.*slot == member) return {&f, nullptr};
  for (const ApiSection& s : kSections)
    for (const ApiField& f : s.fields)
      if (f.*slot == member) return {&f, &s};
  return {};
}

}  // namespace

std::span<const ApiField> ApiHeaderFields() { return kHeader; }
std::span<const ApiSection> ApiSections() { return kSections; }

const ApiSection* FindApiSection(std::int32_t number) {
  if (number < 0 || number > kMaxSectionNumber) return nullptr;
  const std::int16_t i = kSectionIndex[static_cast<std::size_t>(number)];
  return i < 0 ? nullptr : &kSections[static_cast<std::size_t>(i)];
}

ApiMemberRef FindApiMember(std::string TCoreApiBufFields::*member) { return Find(member, &ApiField::text); }
ApiMemberRef FindApiMember(std::int32_t TCoreApiBufFields::*member) {
  return Find(member, &ApiField::integer);
}
ApiMemberRef FindApiMember(Currency TCoreApiBufFields::*member) { return Find(member, &ApiField::amount); }
ApiMemberRef FindApiMember(TDateTime TCoreApiBufFields::*member) { return Find(member, &ApiField::date); }
ApiMemberRef FindApiMember(TApiList TCoreApiBufFields::*member) { return Find(member, &ApiField::list); }

}  // namespace zp
