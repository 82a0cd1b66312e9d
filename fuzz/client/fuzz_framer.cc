// Feeds the receive path's framing arbitrary bytes cut into arbitrary chunks and checks
// that it queues exactly the packets it queues for the same bytes in one piece, never
// holds more than its buffer, and that every packet it hands on decodes whole.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/PacketFramer.h"
#include "protocol/ProbeExpBuf.h"

namespace {

struct CollectingSink final : zp::PacketFramer::Sink {
  std::vector<std::string> packets;
  void Trace(const std::string&) override {}
  void Dump(const std::string&, int, const std::uint8_t*) override {}
  void Packet(const std::uint8_t* data, int length) override {
    packets.emplace_back(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
  }
  bool StopRequested() override { return false; }
};

// Feeds `bytes` in chunks whose sizes come from `sizes` (cycled), each at most the
// framer's read space, as the socket would deliver them.
std::vector<std::string> Frame(const std::uint8_t* bytes, std::size_t n, const std::uint8_t* sizes,
                               std::size_t n_sizes) {
  zp::PacketFramer framer;
  CollectingSink sink;
  std::size_t pos = 0, k = 0;
  while (pos < n) {
    std::size_t chunk = n_sizes == 0 ? n - pos : std::size_t{sizes[k++ % n_sizes]} * 37 + 1;
    chunk = std::min({chunk, n - pos, static_cast<std::size_t>(framer.ReadSpace())});
    if (chunk == 0) abort();  // the buffer filled up: the framer let garbage accumulate
    framer.Receive(bytes + pos, static_cast<int>(chunk), sink);
    pos += chunk;
    if (framer.Bytes() > zp::ZExpBuf::MaxPacketLength) abort();
  }
  return sink.packets;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t n_sizes = std::min<std::size_t>(data[0] % 16, size - 1);
  const std::uint8_t* sizes = data + 1;
  const std::uint8_t* bytes = data + 1 + n_sizes;
  const std::size_t n = size - 1 - n_sizes;

  const auto whole = Frame(bytes, n, nullptr, 0);
  const auto chunked = Frame(bytes, n, sizes, n_sizes);
  if (whole != chunked) abort();
  zp::ZExpBuf check;
  for (const std::string& p : whole) {
    const auto r = check.Decode(static_cast<int>(p.size()), reinterpret_cast<const std::uint8_t*>(p.data()));
    if (r != static_cast<std::int32_t>(p.size())) abort();
  }
  return 0;
}
