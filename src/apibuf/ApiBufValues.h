#pragma once
#include <cstdint>
#include <string_view>

#include "apibuf/ApiBufFields.h"

namespace zp {

// Conversions of the API buffer's field texts.

// Leading blanks, an optional sign and 1 to 10 decimal digits, nothing else, within 32 bits.
bool TryApiDecimal(std::string_view text, std::int32_t& value);
// An amount field's text: the decimal number with its sign dropped, divided by 100, as
// Currency (rounded half up to a whole unit). Accepted: leading blanks, an optional sign,
// digits with an optional decimal point and at least one digit ("12345", "-0000012345",
// "123.4", ".5", "7."). No exponent, no blanks inside or after. False when it does not convert.
bool TryApiAmount(std::string_view text, Currency& value);

// The day count since 30 December 1899 of a calendar date; false when it is not a date.
bool TryEncodeDate(std::int32_t year, std::int32_t month, std::int32_t day, TDateTime& value);
// The fraction of a day; false when it is not a clock time (hours 0-23, minutes and seconds 0-59).
bool TryEncodeTime(std::int32_t hours, std::int32_t minutes, std::int32_t seconds, TDateTime& value);

// MMDDYY as a number: 0 or less is "no date" (0, valid); years 00-89 are 2000-2089 and
// 90-99 are 1990-1999. False (value 0) when the digits do not form a date.
bool ApiDateFromNumber(std::int32_t mmddyy, TDateTime& value);
// HHMMSS as a number: 0 or less is "no time" (0, valid). False (value 0) when not a time.
bool ApiTimeFromNumber(std::int32_t hhmmss, TDateTime& value);

}  // namespace zp
