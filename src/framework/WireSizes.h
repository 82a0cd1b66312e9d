#pragma once

// The sizes of the probe protocol's packets, shared by the packet class, the receive
// queue and the receive path, which sit side by side above this layer.
namespace zp::wire {

inline constexpr int kHeaderLength = 28;  // start triple 3, length 6, type 1, client sequence 4,
                                          // data centre 4, circuit number 6, circuit sequence 4
inline constexpr int kMaxTextPart = 512;
inline constexpr int kMaxDataPart = 5320;
inline constexpr int kFramingOverhead = kHeaderLength + 1 + 2;  // the separator and the two end bytes
inline constexpr int kMaxPacketLength = kMaxTextPart + kMaxDataPart + kFramingOverhead;
static_assert(kMaxPacketLength == 5863);
// Most bytes one socket read takes; also one receive-queue block, so that a read is
// copied once into the queue and once out of it.
inline constexpr int kReadBlock = 5152;

}  // namespace zp::wire
