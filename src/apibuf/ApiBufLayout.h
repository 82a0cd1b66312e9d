#pragma once
#include <cstdint>
#include <span>

#include "apibuf/ApiBufFields.h"

namespace zp {

// The text layout of the API buffer as data: the header's fields and, per section, its
// presence flag and its fields in reading order. The parser walks these tables and the
// setters take each member's capacity and section from them.

inline constexpr char kApiNul = 0;
inline constexpr char kApiEtx = 3;
inline constexpr char kApiFs = 28;
inline constexpr char kApiByteSection = 'B';
inline constexpr std::int32_t kApiByteCountWidth = 4;
inline constexpr std::int32_t kApiSectionNumberWidth = 3;
inline constexpr std::int32_t kApiUnbounded = -1;  // capacity of long texts and byte strings

enum class ApiForm : std::uint8_t {
  Text,        // up to width characters, code 128 and above dropped, trailing spaces removed
  Filtered,    // as Text but only the characters of a fixed set are kept, nothing trimmed
  Integer,     // decimal 32-bit integer; 0 when it does not convert
  Amount,      // decimal number, sign dropped, divided by 100, as Currency
  Date,        // MMDDYY
  Time,        // HHMMSS
  Bytes,       // as many raw bytes as the section's byte count says
  Split,       // one text split at "^" into the Part fields that follow it
  Part,        // one part of the Split before it; reads nothing itself
  List,        // as many Text items as the count member says, item i into entry i
  Skip,        // read and dropped
  Indicator,   // header: the error indicator ("Y", "P", anything else "N")
  ZeroFilled,  // header: trimmed both sides, a non-empty value zero-filled on the left
};

// One field: how it is read and where its value goes. Exactly one member pointer is set
// (none for Skip and Split).
struct ApiField {
  ApiForm form = ApiForm::Skip;
  std::int32_t width = 0;     // characters read
  std::int32_t capacity = 0;  // texts: longest stored value, or kApiUnbounded
  std::int32_t minLength = 0;  // a shorter text is read but not stored
  std::string TCoreApiBufFields::*text = nullptr;
  std::int32_t TCoreApiBufFields::*integer = nullptr;
  Currency TCoreApiBufFields::*amount = nullptr;
  TDateTime TCoreApiBufFields::*date = nullptr;
  TApiList TCoreApiBufFields::*list = nullptr;
  std::int32_t TCoreApiBufFields::*count = nullptr;  // List: the member holding the item count

  constexpr ApiField StoredWhenLongerThan(std::int32_t length) const {
    ApiField f = *this;
    f.minLength = length + 1;
    return f;
  }
};

struct ApiSection {
  std::int32_t number = -1;
  bool TCoreApiBufFields::*present = nullptr;
  // When ApiFormat is "1" the last field is read first (the other fields keep their order).
  bool lastFieldFirstInFormat1 = false;
  std::span<const ApiField> fields;
};

// The header's fields in text order (no presence flag).
std::span<const ApiField> ApiHeaderFields();
// Every section, ascending by number.
std::span<const ApiSection> ApiSections();
// The section with this number, or nullptr when the layout has none.
const ApiSection* FindApiSection(std::int32_t number);

// Where a member is described: its field and its section (nullptr for a header member).
// Both are nullptr for a member the layout does not know.
struct ApiMemberRef {
  const ApiField* field = nullptr;
  const ApiSection* section = nullptr;
};
ApiMemberRef FindApiMember(std::string TCoreApiBufFields::*member);
ApiMemberRef FindApiMember(std::int32_t TCoreApiBufFields::*member);
ApiMemberRef FindApiMember(Currency TCoreApiBufFields::*member);
ApiMemberRef FindApiMember(TDateTime TCoreApiBufFields::*member);
ApiMemberRef FindApiMember(TApiList TCoreApiBufFields::*member);

}  // namespace zp
