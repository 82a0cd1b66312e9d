// Feeds the receive path's framing arbitrary bytes cut into arbitrary chunks and checks
// that it queues exactly the packets a walk over the whole stream finds (each one that
// decodes whole) and never holds more than its buffer.
//
// Input: one byte choosing how many chunk sizes follow (0 to 3), the sizes, then the
// stream. A few sizes cycled over a few dozen reads reach every way a read can end
// inside a header or a packet; the rest of the stream then arrives in reads as large as
// the framer takes. Every read costs the framer a fixed amount of work, so an input
// that would cut its whole stream into single bytes must not cost thousands of reads.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/PacketFramer.h"
#include "protocol/ProbeExpBuf.h"

namespace {

using zp::ZExpBuf;

constexpr std::size_t kMaxSizes = 3;
constexpr int kChosenReads = 48;
// Each packet start costs the framer a decode, a header trace and a move of what
// follows; beyond a dozen or so starts a stream only repeats itself. The stream is cut
// before the start after these.
constexpr int kMaxStarts = 16;

constexpr std::uint8_t kStart[] = {ZExpBuf::StartByte, ZExpBuf::SignatureByte, ZExpBuf::RevisionByte};

// The first kMaxStarts packet starts of the stream and what lies between them.
std::size_t Limited(const std::uint8_t* bytes, std::size_t n) {
  const std::uint8_t* const end = bytes + n;
  const std::uint8_t* p = bytes;
  for (int starts = 0; starts <= kMaxStarts; ++starts, ++p) {
    p = std::search(p, end, std::begin(kStart), std::end(kStart));
    if (p == end) return n;
  }
  return static_cast<std::size_t>(p - 1 - bytes);
}

// A packet as its place in the stream.
struct Span {
  std::size_t at, length;
};

// Checks each packet the framer hands on against the next one expected.
struct CheckingSink final : zp::PacketFramer::Sink {
  const std::uint8_t* stream = nullptr;
  std::vector<Span> expected;
  std::size_t next = 0;
  void Trace(const std::string&) override {}
  void Dump(const std::string&, int, const std::uint8_t*) override {}
  void Packet(const std::uint8_t* data, int length) override {
    if (next == expected.size()) abort();  // a packet too many
    const Span s = expected[next++];
    if (static_cast<std::size_t>(length) != s.length || std::memcmp(data, stream + s.at, s.length) != 0) abort();
  }
  bool StopRequested() override { return false; }
};

// Feeds `bytes` as the socket would deliver them: the first kChosenReads reads take
// their sizes from `sizes` (cycled; 1 to 9436 bytes), every other read as much as the
// framer has room for.
void Frame(const std::uint8_t* bytes, std::size_t n, const std::uint8_t* sizes, std::size_t n_sizes,
           CheckingSink& sink) {
  zp::PacketFramer framer;
  std::size_t pos = 0;
  for (int read = 0; pos < n; ++read) {
    const auto room = static_cast<std::size_t>(framer.ReadSpace());
    if (room == 0) abort();  // the buffer filled up: the framer let garbage accumulate
    std::size_t chunk = room;
    if (read < kChosenReads && n_sizes > 0) chunk = std::size_t{sizes[read % n_sizes]} * 37 + 1;
    chunk = std::min({chunk, n - pos, room});
    framer.Receive(bytes + pos, static_cast<int>(chunk), sink);
    pos += chunk;
    if (framer.Bytes() > ZExpBuf::MaxPacketLength) abort();
  }
  if (sink.next != sink.expected.size()) abort();  // a packet missed
}

// What any framing must find with the whole stream in hand: from each start triple a
// packet as Decode sees it, a start that Decode rejects or that announces more than the
// largest packet skipped by one byte, and the end at the first packet still incomplete.
// Decode decides a packet from its own bytes alone, so how the stream is cut into reads
// cannot change this.
std::vector<Span> Walk(const std::uint8_t* bytes, std::size_t n, ZExpBuf& packet) {
  std::vector<Span> packets;
  const std::uint8_t* const end = bytes + n;
  const std::uint8_t* p = bytes;
  for (;;) {
    p = std::search(p, end, std::begin(kStart), std::end(kStart));
    if (p == end) return packets;
    const std::int32_t r = packet.Decode(static_cast<int>(end - p), p);
    if (r == 0 || packet.GetTBytes() > ZExpBuf::MaxTBytes) {
      ++p;
      continue;
    }
    if (r < 0) return packets;
    packets.push_back({static_cast<std::size_t>(p - bytes), static_cast<std::size_t>(r)});
    p += r;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t n_sizes = std::min<std::size_t>(data[0] % (kMaxSizes + 1), size - 1);
  const std::uint8_t* sizes = data + 1;
  const std::uint8_t* bytes = data + 1 + n_sizes;
  const std::size_t n = Limited(bytes, size - 1 - n_sizes);

  ZExpBuf packet;
  CheckingSink sink;
  sink.stream = bytes;
  sink.expected = Walk(bytes, n, packet);
  Frame(bytes, n, sizes, n_sizes, sink);
  return 0;
}
