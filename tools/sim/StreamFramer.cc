#include "StreamFramer.h"

#include <algorithm>
#include <array>

#include "protocol/ProbeExpBuf.h"

namespace zp::sim {
namespace {
constexpr std::array<std::uint8_t, 3> kStartTriple = {ZExpBuf::StartByte, ZExpBuf::SignatureByte,
                                                      ZExpBuf::RevisionByte};
}

void StreamFramer::Append(const std::uint8_t* bytes, std::size_t count) {
  // Compact lazily: moving the rest down on every packet would make a stream of small
  // packets quadratic in the buffer size.
  if (FHead > 0 && FHead >= FBuffer.size() / 2) {
    FBuffer.erase(FBuffer.begin(), FBuffer.begin() + static_cast<std::ptrdiff_t>(FHead));
    FHead = 0;
  }
  FBuffer.insert(FBuffer.end(), bytes, bytes + count);
}

void StreamFramer::Drop(std::size_t count, bool garbage) {
  FHead += count;
  if (garbage) FGarbage += count;
  if (FHead == FBuffer.size()) {
    FBuffer.clear();
    FHead = 0;
  }
}

bool StreamFramer::Next(ZExpBuf& packet) {
  for (;;) {
    const auto begin = FBuffer.begin() + static_cast<std::ptrdiff_t>(FHead);
    const auto start = std::search(begin, FBuffer.end(), kStartTriple.begin(), kStartTriple.end());
    if (start == FBuffer.end()) {
      // The last two bytes may be the beginning of a start triple cut by the read.
      const std::size_t keep = std::min<std::size_t>(Buffered(), kStartTriple.size() - 1);
      Drop(Buffered() - keep, true);
      return false;
    }
    Drop(static_cast<std::size_t>(start - begin), true);
    const std::int32_t r = packet.Decode(static_cast<int>(std::min<std::size_t>(Buffered(), 1 << 30)),
                                         FBuffer.data() + FHead);
    if (r == -1) return false;
    if (r == 0) {
      // A start triple that frames nothing: look for the next one.
      Drop(1, true);
      continue;
    }
    Drop(static_cast<std::size_t>(r), false);
    return true;
  }
}

}  // namespace zp::sim
