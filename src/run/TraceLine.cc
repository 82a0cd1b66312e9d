#include "run/TraceLine.h"

#include <algorithm>
#include <cstdint>

#include "platform/LocalTime.h"

namespace zp {

std::string TraceTimeText(std::time_t when) { return FormatDateTime("ddd mm/dd hh:nn:ss", when); }

std::string FormatTraceLine(const TraceLine& line) {
  std::string out;
  out.reserve(line.name.size() + line.time.size() + line.text.size() + 2);
  out += EscapeControls(line.name);
  out += '\t';
  out += line.time;
  out += '\t';
  out += EscapeControls(line.text);
  return out;
}

namespace {

// The length of the valid UTF-8 sequence at the start of `s` (0 when there is none),
// and the code point it encodes.
std::size_t Utf8Sequence(std::string_view s, std::uint32_t& code) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  std::size_t n;
  std::uint32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    n = 2, code = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    n = 3, code = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    n = 4, code = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < min || code > 0x10FFFF || surrogate ? 0 : n;
}

// The invisible characters that change the direction text is laid out in: a peer could
// make a line read as something other than what it holds ("1 of 3 routes failed"
// reversed in place). The marks, embeddings, overrides and isolates of Unicode's
// bidirectional algorithm.
bool DirectionControl(std::uint32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

void AppendEscaped(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

}  // namespace

std::string EscapeControls(std::string_view text) {
  const auto plain = [](unsigned char c) { return (c >= 0x20 && c < 0x7F) || c == '\t'; };
  if (std::all_of(text.begin(), text.end(), [&](char c) { return plain(static_cast<unsigned char>(c)); }))
    return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (plain(c)) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    std::uint32_t code = 0;
    const std::size_t n = c >= 0x80 ? Utf8Sequence(text.substr(i), code) : 0;
    if (n > 0 && !(code >= 0x80 && code <= 0x9F) && !DirectionControl(code)) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    // A C1 control or a direction mark is escaped byte by byte, like any byte that is not
    // UTF-8.
    const std::size_t bytes = n > 0 ? n : 1;
    for (std::size_t k = 0; k < bytes; ++k) AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
    i += bytes;
  }
  return out;
}

}  // namespace zp
