#include "SimSocket.h"

namespace zp::sim {

// Parsed by hand rather than by the system, so that every system accepts the same texts
// (the strict dotted form: some parsers take leading zeros or fewer parts).
bool ParseLoopbackAddress(std::string_view text, std::uint32_t& address) {
  std::uint32_t value = 0;
  std::size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return false;
      ++at;
    }
    const std::size_t begin = at;
    unsigned number = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - begin < 3)
      number = number * 10 + static_cast<unsigned>(text[at++] - '0');
    const std::size_t digits = at - begin;
    if (digits == 0 || number > 255 || (digits > 1 && text[begin] == '0')) return false;
    value = (value << 8) | number;
  }
  if (at != text.size() || (value >> 24) != 127) return false;
  address = value;
  return true;
}

}  // namespace zp::sim
