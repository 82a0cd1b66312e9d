#include "apibuf/ApiBufText.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace zp {

namespace {

constexpr char kFs = 28;

// A field's text: cut at the first character that would end it early, then to its width.
std::string_view Clean(std::string_view text, std::size_t width) {
  const std::size_t stop = text.find_first_of(std::string_view("\0\3\34", 3));
  if (stop != std::string_view::npos) text = text.substr(0, stop);
  return text.substr(0, std::min(text.size(), width));
}

void AppendPadded(std::string& out, std::string_view text, std::size_t width) {
  text = Clean(text, width);
  out.append(text);
  out.append(width - text.size(), ' ');
}

void AppendNumber(std::string& out, std::int32_t value, std::int32_t max, std::int32_t outOfRange,
                  int width) {
  if (value < 0 || value > max) value = outOfRange;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%0*d", width, static_cast<int>(value));
  out.append(digits);
}

}  // namespace

// Header: signature 1, format 1, carried 2 + 12, indicator 1, error code 6, sub-code 3,
// two carried numbers of 10, a carried zero-filled 10 and a carried 32: 88 characters.
std::string ComposeApiBufText(const ApiBufReply& reply) {
  std::string out = "$0";
  out.append(2 + 12, ' ');
  out.push_back(reply.ErrorIndicator);
  AppendNumber(out, reply.ErrorCode, 999999, 989898, 6);
  AppendNumber(out, reply.ErrorSubCode, 999, 999, 3);
  out.append(10, '0');
  out.append(10, '0');
  out.append(10 + 32, ' ');
  if (reply.PublicKey) {
    out.push_back(kFs);
    out.append("017");
    out.append(Clean(*reply.PublicKey, 16384));
  }
  if (reply.ErrorShortText || reply.ErrorText) {
    out.push_back(kFs);
    out.append("999");
    AppendPadded(out, reply.ErrorShortText.value_or(""), 16);
    out.append(Clean(reply.ErrorText.value_or(""), 255));
  }
  return out;
}

}  // namespace zp
