#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zp {
class ZExpBuf;
}

namespace zp::sim {

// Cuts a received byte stream into probe packets. Bytes that cannot start a packet are
// dropped and counted, and the buffer never grows past a bound whatever a peer sends:
// Overflowed() tells the owner to drop the connection.
class StreamFramer {
 public:
  // More than the largest packet plus one read, so legal traffic never overflows.
  static constexpr std::size_t kMaxBuffered = 64 * 1024;
  // Bytes dropped as garbage over the connection's life before it counts as a flood.
  static constexpr std::size_t kMaxGarbage = 64 * 1024;

  void Append(const std::uint8_t* bytes, std::size_t count);
  // Decodes the next complete packet into `packet`; false when more bytes are needed.
  bool Next(ZExpBuf& packet);
  bool Overflowed() const { return Buffered() > kMaxBuffered || FGarbage > kMaxGarbage; }
  std::size_t Buffered() const { return FBuffer.size() - FHead; }
  std::size_t Garbage() const { return FGarbage; }

 private:
  void Drop(std::size_t count, bool garbage);

  std::vector<std::uint8_t> FBuffer;
  std::size_t FHead = 0;  // bytes before this offset are consumed
  std::size_t FGarbage = 0;
};

}  // namespace zp::sim
