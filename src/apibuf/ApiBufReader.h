#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "apibuf/ApiBufFields.h"

namespace zp {

// A cursor over API buffer text with the field readers. Each reader starts at the cursor
// and moves it on; none reads past the end of the text. A text field stops early, without
// consuming it, at NUL, ETX or FS (or the end). Views returned by the text readers stay
// valid until the next read. The text must outlive the reader.
class ApiBufReader {
 public:
  explicit ApiBufReader(std::string_view text) : FText(text) {}

  bool AtEnd() const { return FPos >= FText.size(); }
  // The character under the cursor; NUL at the end of the text.
  char Peek() const { return AtEnd() ? '\0' : FText[FPos]; }
  void Next() {
    if (!AtEnd()) ++FPos;
  }
  std::size_t Position() const { return FPos; }
  // Moves to the next NUL, ETX or FS (or the end).
  void SkipToMark();

  // Up to `width` characters; those of code 128 and above are dropped (but consumed);
  // trailing spaces removed.
  std::string_view ReadText(std::int32_t width);
  // Up to `width` characters keeping only those of the filtered set; nothing trimmed.
  std::string_view ReadFiltered(std::int32_t width);
  // ReadText as a decimal integer; 0 when it does not convert.
  std::int32_t ReadInteger(std::int32_t width);
  // ReadText as an amount (see TryApiAmount); 0 when empty or not convertible.
  Currency ReadAmount(std::int32_t width);
  // ReadInteger as MMDDYY / HHMMSS; false (value 0) when it is not a date / clock time.
  bool ReadDate(std::int32_t width, TDateTime& value);
  bool ReadTime(std::int32_t width, TDateTime& value);
  // Exactly `count` bytes as they are (none for a count below 1). When fewer remain,
  // returns false with no bytes and moves to the end.
  bool ReadBytes(std::int32_t count, std::string_view& bytes);

  // The characters ReadFiltered keeps.
  static bool IsFiltered(unsigned char c);

 private:
  template <typename Keep>
  std::string_view Read(std::int32_t width, Keep keep);

  std::string_view FText;
  std::size_t FPos = 0;
  std::string FScratch;  // holds a field when dropped characters make it differ from the text
};

}  // namespace zp
