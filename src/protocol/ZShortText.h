#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace zp {

// A text of at most N bytes kept inside the object (no heap). Assigning a longer text
// keeps its first N bytes. Any byte value may be stored.
template <std::size_t N>
class ZShortText {
  static_assert(N > 0 && N < 256);

 public:
  ZShortText() = default;
  ZShortText(std::string_view text) { Assign(text); }  // NOLINT: implicit on purpose
  ZShortText& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }

  void Assign(std::string_view text) {
    FLength = static_cast<std::uint8_t>(std::min(text.size(), N));
    if (FLength > 0) std::memcpy(FChars.data(), text.data(), FLength);
  }
  void Clear() { FLength = 0; }

  static constexpr std::size_t Capacity() { return N; }
  std::size_t Length() const { return FLength; }
  bool Empty() const { return FLength == 0; }
  std::string_view View() const { return {FChars.data(), FLength}; }
  std::string Str() const { return std::string(View()); }
  operator std::string_view() const { return View(); }  // NOLINT: implicit on purpose

  friend bool operator==(const ZShortText& a, std::string_view b) { return a.View() == b; }
  friend bool operator==(const ZShortText& a, const ZShortText& b) { return a.View() == b.View(); }

 private:
  std::array<char, N> FChars{};
  std::uint8_t FLength = 0;
};

}  // namespace zp
