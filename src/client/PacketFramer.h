#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "framework/WireSizes.h"

namespace zp {

// The receive path's framing on plain bytes: accumulates what the socket delivers,
// drops garbage up to the next packet start, and hands every complete packet on whole.
// It knows no socket, so tests and the fuzzer feed it bytes directly.
class PacketFramer {
 public:
  static constexpr int kBufferSize = 16384;
  static constexpr int kReadSize = wire::kReadBlock;  // most bytes one socket read takes
  static constexpr int kDumpLimit = 80;   // most bytes dumped per read

  // What the framer reports to. Trace (packet headers and garbage) and Dump are the
  // worker's trace lines; Packet
  // gets each complete packet's bytes (valid during the call only).
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void Trace(const std::string& line) = 0;
    virtual void Dump(const std::string& prefix, int length, const std::uint8_t* data) = 0;
    virtual void Packet(const std::uint8_t* data, int length) = 0;
    virtual bool StopRequested() = 0;
  };

  // Room for the next read; never more than kReadSize.
  int ReadSpace() const;
  // Appends `n` bytes (at most ReadSpace()) and frames every complete packet.
  void Receive(const std::uint8_t* data, int n, Sink& sink);
  // Discards every byte held (zeroes the buffer).
  void Clear();
  int Bytes() const { return FLanBytes; }
  const std::uint8_t* Data() const { return FLanBuffer.data(); }

 private:
  void Frame(Sink& sink);
  void DropFront(int k);

  std::array<std::uint8_t, kBufferSize> FLanBuffer{};
  int FLanBytes = 0;
};

}  // namespace zp
