#pragma once
// Builders of API buffer text for tests, written from the text layout by hand (not from the
// parser's tables), so that a width or order mistake in either shows up as a disagreement.
#include <string>
#include <string_view>

namespace zp::apibuf_test {

inline constexpr char kFs = 28;
inline constexpr char kEtx = 3;

inline std::string Pad(std::string_view text, std::size_t width) {
  std::string s(text.substr(0, width));
  s.append(width - s.size(), ' ');
  return s;
}

struct Header {
  std::string signature = "$", format = "0", h03, h04, indicator = "N", code, subCode;
  std::string h08, h09, h10, h11;

  // 1 + 1 + 2 + 12 + 1 + 6 + 3 + 10 + 10 + 10 + 32 = 88 characters.
  std::string Text() const {
    return Pad(signature, 1) + Pad(format, 1) + Pad(h03, 2) + Pad(h04, 12) + Pad(indicator, 1) +
           Pad(code, 6) + Pad(subCode, 3) + Pad(h08, 10) + Pad(h09, 10) + Pad(h10, 10) + Pad(h11, 32);
  }
};

inline std::string HeaderText() { return Header{}.Text(); }

// FS, the three-digit number, the body.
inline std::string Sec(std::string_view number, std::string_view body) {
  return std::string(1, kFs) + std::string(number) + std::string(body);
}

}  // namespace zp::apibuf_test
