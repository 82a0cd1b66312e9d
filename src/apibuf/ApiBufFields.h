#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {

// Stored types of the API buffer record.
using Currency = std::int64_t;  // fixed point: the amount times 10 000
inline constexpr Currency kCurrencyScale = 10000;
using TDateTime = double;  // days since 30 December 1899, time of day as the fraction; 0 = no value
inline constexpr int kApiListEntries = 24;
using TApiList = std::array<std::string, kApiListEntries>;  // entry i (from 1) at index i - 1

// Every member of the API buffer record with its default, in record order: the header, then
// per section its presence flag and its members in field order. Section 032 keeps field 6
// before field 5; section 999 holds the error texts. Widths, forms and capacities are not
// here: they are in the layout table (ApiBufLayout.cc), from which parsing and the setters
// follow. A default-constructed value is the cleared record.
struct TCoreApiBufFields {
  // Header
  std::string ApiSignature, ApiFormat, Header03, Header04, ErrorIndicator;
  std::int32_t ErrorCode = 0, ErrorSubCode = 0, Header08 = 0, Header09 = 0;
  std::string Header10, Header11;
  // 000
  bool S000_Present = false;
  std::string S000_01;
  // 001
  bool S001_Present = false;
  std::string S001_01, S001_02, S001_03;
  std::int32_t S001_04 = 0, S001_05 = 0;
  TDateTime S001_06 = 0, S001_07 = 0;
  std::string S001_08;
  Currency S001_09 = 0, S001_10 = 0;
  std::string S001_11, S001_12, S001_13, S001_14, S001_15, S001_16, S001_17;
  // 002
  bool S002_Present = false;
  std::string S002_01, S002_02, S002_03;
  // 003
  bool S003_Present = false;
  std::int32_t S003_01 = 0, S003_02 = 0, S003_03 = 0;
  TDateTime S003_04 = 0, S003_05 = 0;
  // 004
  bool S004_Present = false;
  std::string S004_01, S004_02;
  Currency S004_03 = 0;
  std::string S004_04, S004_05, S004_06;
  TDateTime S004_07 = 0, S004_08 = 0;
  std::string S004_09, S004_10, S004_11;
  TDateTime S004_12 = 0, S004_13 = 0;
  std::int32_t S004_14 = 0;
  std::string S004_15;
  // 005
  bool S005_Present = false;
  std::int32_t S005_01 = 0, S005_02 = 0;
  std::string S005_03, S005_04;
  // 006
  bool S006_Present = false;
  std::int32_t S006_01 = 0, S006_02 = 0, S006_03 = 0;
  std::string S006_04;
  // 007
  bool S007_Present = false;
  std::string S007_01;
  // 008
  bool S008_Present = false;
  std::string S008_01, S008_02;
  Currency S008_03 = 0;
  std::string S008_04;
  // 009
  bool S009_Present = false;
  std::string S009_01, S009_02, S009_03, S009_04;
  // 010
  bool S010_Present = false;
  std::string S010_01;
  // 011
  bool S011_Present = false;
  std::int32_t S011_01 = 0;
  std::string S011_02;
  TDateTime S011_03 = 0;
  Currency S011_04 = 0;
  std::string S011_05, S011_06, S011_07, S011_08, S011_09, S011_10, S011_11;
  // 012
  bool S012_Present = false;
  std::string S012_01, S012_02, S012_03, S012_04, S012_05, S012_06, S012_07, S012_08, S012_09, S012_10,
      S012_11, S012_12;
  // 013
  bool S013_Present = false;
  std::int32_t S013_01 = 0;
  // 014
  bool S014_Present = false;
  std::int32_t S014_01 = 0;
  // 015
  bool S015_Present = false;
  std::string S015_01, S015_02;
  // 016
  bool S016_Present = false;
  Currency S016_01 = 0, S016_02 = 0;
  std::string S016_03, S016_04;
  // 017
  bool S017_Present = false;
  std::string S017_01;
  // 018
  bool S018_Present = false;
  std::string S018_01;
  // 019
  bool S019_Present = false;
  std::string S019_01, S019_02;
  // 020
  bool S020_Present = false;
  std::string S020_01;
  // 021
  bool S021_Present = false;
  std::string S021_01, S021_02;
  // 022
  bool S022_Present = false;
  std::string S022_01, S022_02, S022_03, S022_04;
  // 023
  bool S023_Present = false;
  std::string S023_01;
  // 024
  bool S024_Present = false;
  std::string S024_01;
  // 025
  bool S025_Present = false;
  std::string S025_01;
  std::int32_t S025_02 = 0;
  Currency S025_03 = 0, S025_04 = 0;
  std::int32_t S025_05 = 0;
  std::string S025_06;
  // 026
  bool S026_Present = false;
  std::string S026_01;
  // 027
  bool S027_Present = false;
  std::string S027_01, S027_02, S027_03;
  std::int32_t S027_04 = 0;
  std::string S027_05, S027_06, S027_07;
  // 028
  bool S028_Present = false;
  std::string S028_01, S028_02, S028_03;
  // 029
  bool S029_Present = false;
  std::string S029_01, S029_02, S029_03, S029_04, S029_05, S029_06, S029_07, S029_08, S029_09, S029_10;
  // 030
  bool S030_Present = false;
  std::string S030_01, S030_02;
  // 031
  bool S031_Present = false;
  TDateTime S031_01 = 0;
  // 032
  bool S032_Present = false;
  TDateTime S032_01 = 0, S032_02 = 0, S032_03 = 0, S032_04 = 0;
  std::string S032_06;
  std::int32_t S032_05 = 0;
  std::string S032_07;
  // 033
  bool S033_Present = false;
  std::int32_t S033_01 = 0;
  std::string S033_02;
  // 034
  bool S034_Present = false;
  std::string S034_01, S034_02;
  // 035
  bool S035_Present = false;
  std::string S035_01, S035_02, S035_03, S035_04, S035_05, S035_06{"0.00000"};
  TDateTime S035_07 = 0, S035_08 = 0;
  Currency S035_09 = 0, S035_10 = 0, S035_11 = 0;
  // 036
  bool S036_Present = false;
  std::string S036_01;
  // 040
  bool S040_Present = false;
  std::string S040_01;
  // 049
  bool S049_Present = false;
  std::string S049_01, S049_02;
  Currency S049_03 = 0;
  // 050
  bool S050_Present = false;
  std::string S050_01;
  Currency S050_02 = 0, S050_03 = 0;
  std::string S050_04, S050_05, S050_06, S050_07, S050_08, S050_09;
  Currency S050_10 = 0, S050_11 = 0;
  std::string S050_12, S050_13, S050_14, S050_15;
  std::int32_t S050_16 = 0;
  std::string S050_17;
  TDateTime S050_18 = 0;
  // 051
  bool S051_Present = false;
  std::string S051_01;
  std::int32_t S051_02 = 0;
  std::string S051_03, S051_04, S051_05, S051_06;
  std::int32_t S051_07 = 0;
  std::string S051_08, S051_09, S051_10, S051_11, S051_12, S051_13, S051_14, S051_15;
  // 052
  bool S052_Present = false;
  std::int32_t S052_01 = 0;
  Currency S052_02 = 0;
  std::int32_t S052_03 = 0;
  Currency S052_04 = 0;
  std::int32_t S052_05 = 0;
  TDateTime S052_06 = 0;
  Currency S052_07 = 0;
  // 053
  bool S053_Present = false;
  std::string S053_01;
  // 060
  bool S060_Present = false;
  std::string S060_01;
  // 061
  bool S061_Present = false;
  std::string S061_01;
  std::int32_t S061_02 = 0, S061_03 = 0;
  TApiList S061_04, S061_05;
  // 062
  bool S062_Present = false;
  std::int32_t S062_01 = 0;
  // 063
  bool S063_Present = false;
  std::string S063_01;
  std::int32_t S063_02 = 0, S063_03 = 0, S063_04 = 0;
  // 298
  bool S298_Present = false;
  std::string S298_01;
  std::int32_t S298_02 = 0;
  // 299
  bool S299_Present = false;
  std::string S299_01;
  // 300
  bool S300_Present = false;
  std::string S300_01, S300_02;
  std::int32_t S300_03 = 0;
  // 301
  bool S301_Present = false;
  std::string S301_01, S301_02;
  // 302
  bool S302_Present = false;
  std::int32_t S302_01 = 0;
  // 303
  bool S303_Present = false;
  std::string S303_01;
  // 304
  bool S304_Present = false;
  TDateTime S304_01 = 0;
  std::int32_t S304_02 = 0, S304_03 = 0;
  Currency S304_04 = 0;
  std::string S304_05;
  // 305
  bool S305_Present = false;
  std::string S305_01;
  // 306
  bool S306_Present = false;
  std::string S306_01;
  std::int32_t S306_02 = 0;
  // 324
  bool S324_Present = false;
  std::string S324_01, S324_02;
  // 399
  bool S399_Present = false;
  std::int32_t S399_01 = 0, S399_02 = 0;
  // 444
  bool S444_Present = false;
  std::int32_t S444_01 = 0;
  std::string S444_02, S444_03, S444_04, S444_05, S444_06, S444_07, S444_08, S444_09, S444_10, S444_11;
  // 799
  bool S799_Present = false;
  std::string S799_01;
  // 900
  bool S900_Present = false;
  std::string S900_01;
  // 901
  bool S901_Present = false;
  std::string S901_01;
  // 999
  bool S999_Present = false;
  std::string ErrorShortText, ErrorText;

  bool operator==(const TCoreApiBufFields&) const = default;
};

}  // namespace zp
