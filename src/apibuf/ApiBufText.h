#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace zp {

// What a gateway's public-key reply carries, for composing API buffer text.
struct ApiBufReply {
  char ErrorIndicator = 'N';  // "Y" error, "N" none, "P"
  std::int32_t ErrorCode = 0;     // 0 to 999999; others are written as 989898
  std::int32_t ErrorSubCode = 0;  // 0 to 999; others are written as 999
  // Section 999 is written when either text is given: the short text (up to 16 characters)
  // and the error text (up to 255).
  std::optional<std::string> ErrorShortText;
  std::optional<std::string> ErrorText;
  // Section 017 is written when given: the public key text (up to 16384 characters).
  std::optional<std::string> PublicKey;
};

// A valid API buffer text (signature "$", format "0") holding `reply`. Texts are cut to their
// field's width and at the first NUL, ETX or FS, which would end the field early. Written
// from the text layout on its own, so it also serves tests as a writer independent of the
// parser.
std::string ComposeApiBufText(const ApiBufReply& reply);

}  // namespace zp
