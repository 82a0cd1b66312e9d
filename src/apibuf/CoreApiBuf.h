#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "apibuf/ApiBufFields.h"

namespace zp {

// The errors a parse records in the record itself.
struct ApiBufError {
  std::int32_t code;
  std::int32_t subCode;
  const char* shortText;
  const char* longText;
};
inline constexpr ApiBufError kApiErrSignature{9990, 0, "Invalid API Sig",
                                              "Invalid API Signature -- expecting '$'"};
inline constexpr ApiBufError kApiErrFormat{9991, 0, "Invalid API Fmt",
                                           "Invalid API Format -- expecting \"0\" or \"1\""};
inline constexpr ApiBufError kApiErrDate{9992, 3, "Invalid dt data", "Invalid numeric data for date field"};
inline constexpr ApiBufError kApiErrTime{9992, 3, "Invalid tm data", "Invalid numeric data for time field"};

// SetError stores these in place of a code or sub-code out of range.
inline constexpr std::int32_t kApiErrorCodeOutOfRange = 989898;
inline constexpr std::int32_t kApiErrorSubCodeOutOfRange = 999;

// The API buffer record: the members of TCoreApiBufFields (read them directly) and the
// operations that fill them. Parsing never throws; problems end up in ErrorIndicator,
// ErrorCode, ErrorSubCode, ErrorShortText and ErrorText. One thread at a time.
//
// Setters: one generic Set per stored type, addressed by member pointer, e.g.
// Set(&TCoreApiBuf::S017_01, key). A section member's setter cuts a text to the member's
// capacity, stores the value (empty and zero included) and raises the section's presence
// flag when the value is non-empty or non-zero; only Clear lowers a flag. Header members
// are stored without a flag. A member pointer the layout does not describe sets nothing.
class TCoreApiBuf : public TCoreApiBufFields {
 public:
  // A new record is cleared (the members' defaults are the cleared state); destruction
  // releases the long texts with the members.
  TCoreApiBuf() = default;

  // Every member to its default (releases the long texts).
  void Clear();
  // Clears the record and fills it from `text`; the text is not changed.
  void Parse(std::string_view text);
  // Parses exactly `count` bytes; a count of 0 or less (or no bytes) leaves the record as it is.
  void ParseBytes(std::int32_t count, const char* bytes);

  // ErrorIndicator becomes "Y" or "P" when `text` starts with that letter, otherwise "N".
  void SetErrorIndicator(std::string_view text);
  void SetError(std::int32_t code, std::int32_t subCode, std::string_view shortText,
                std::string_view longText);
  void SetError(const ApiBufError& e) { SetError(e.code, e.subCode, e.shortText, e.longText); }

  void Set(std::string TCoreApiBufFields::*member, std::string_view value);
  void Set(std::int32_t TCoreApiBufFields::*member, std::int32_t value);
  void Set(Currency TCoreApiBufFields::*member, Currency value);
  void Set(TDateTime TCoreApiBufFields::*member, TDateTime value);
  // A raw-byte member (S060_01, S303_01) becomes exactly `count` bytes (none when count < 1).
  void SetBytes(std::string TCoreApiBufFields::*member, std::int32_t count, const char* bytes);
  // Entry `item` (1 to 24) of a list of section 061; an empty text or another item number
  // sets nothing.
  void SetItem(TApiList TCoreApiBufFields::*list, std::int32_t item, std::string_view text);
  // The setters of section 999.
  void SetErrorShortText(std::string_view text) { Set(&TCoreApiBufFields::ErrorShortText, text); }
  void SetErrorText(std::string_view text) { Set(&TCoreApiBufFields::ErrorText, text); }
};

}  // namespace zp
