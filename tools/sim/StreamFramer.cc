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
  if (head_ > 0 && head_ >= buffer_.size() / 2) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
}

void StreamFramer::Drop(std::size_t count, bool garbage) {
  head_ += count;
  if (garbage) garbage_ += count;
  if (head_ == buffer_.size()) {
    buffer_.clear();
    head_ = 0;
  }
}

bool StreamFramer::Next(ZExpBuf& packet) {
  for (;;) {
    const auto begin = buffer_.begin() + static_cast<std::ptrdiff_t>(head_);
    const auto start = std::search(begin, buffer_.end(), kStartTriple.begin(), kStartTriple.end());
    if (start == buffer_.end()) {
      // The last two bytes may be the beginning of a start triple cut by the read.
      const std::size_t keep = std::min<std::size_t>(Buffered(), kStartTriple.size() - 1);
      Drop(Buffered() - keep, true);
      return false;
    }
    Drop(static_cast<std::size_t>(start - begin), true);
    const std::int32_t r = packet.Decode(static_cast<int>(std::min<std::size_t>(Buffered(), 1 << 30)),
                                         buffer_.data() + head_);
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
