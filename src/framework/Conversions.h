#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {

// `text` without trailing blanks (only the blank, 32, counts).
std::string TrimTrailingBlanks(std::string_view text);

// A fixed-width decimal header field: leading blanks, an optional sign and digits,
// nothing after them. Empty, all blanks, trailing blanks, overflow or anything else
// gives 0.
std::int32_t FieldToInt(std::string_view text);

// Hexadecimal text to number, 32 bits (higher digits shift out). Returns the failure
// flag: true for an empty text or any character that is not a hex digit; `value`
// keeps the digits read before it.
bool HexToInt(std::uint32_t& value, std::string_view text);
// The value, or 0 on failure.
std::uint32_t HexToIntDef(std::string_view text);

// True when `a` and `b` are the same text but for the case of ASCII letters (route
// entries and host names are compared so).
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

// The platform's text-to-integer conversion: optional blanks and sign, decimal digits,
// or "$" / "0x" followed by hexadecimal digits. False when the text is not a number.
bool TryStrToInt(std::string_view text, std::int32_t& value);

}  // namespace zp
