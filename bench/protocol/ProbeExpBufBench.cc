// Encode and Decode of three packets — a heartbeat, a login as the profiler sends it
// and the largest packet — beside the least any decode must do: copy the text part
// and the data part out of the received bytes. That floor copies from the very
// offsets Decode reads (28 and 29 + text length, odd and unaligned) into the very
// arrays Decode fills, so alignment favours neither side.
// decode_ratio.py runs both and prints Decode / copy per packet.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/ProbeExpBuf.h"

namespace {

using zp::ZExpBuf;

enum Kind { kHeartbeat, kLogin, kLargest };

ZExpBuf Packet(Kind kind) {
  ZExpBuf p;
  p.ClientSequence = 2;
  p.DataCenterId = "DC01";
  p.CircuitNumber = 1000;
  p.CircuitSequence = 0;
  switch (kind) {
    case kHeartbeat:
      p.BuildHeartbeat(702, "1");
      break;
    case kLogin:
      p.BuildLogin(702, 'P', 1, 1, 25, 0, "PROFILE", "127.0.0.1", 14, 's', 0, "");
      break;
    case kLargest: {
      p.PacketType = 'P';
      p.SetText(std::string(ZExpBuf::MaxTextPart, 't'));
      const std::vector<std::uint8_t> data(ZExpBuf::MaxDataPart, 0xD0);
      p.SetData(ZExpBuf::MaxDataPart, data.data());
      break;
    }
  }
  return p;
}

// The packet's bytes as received, at the start of a receive buffer.
std::vector<std::uint8_t> Wire(Kind kind) {
  ZExpBuf p = Packet(kind);
  std::vector<std::uint8_t> wire(ZExpBuf::MaxPacketLength);
  int length = 0;
  p.Encode(length, wire.data());
  wire.resize(static_cast<std::size_t>(length));
  return wire;
}

void Label(benchmark::State& state, std::size_t length) {
  static const char* const names[] = {"heartbeat", "login", "largest"};
  state.SetLabel(names[state.range(0)]);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
}

void BM_Encode(benchmark::State& state) {
  const auto kind = static_cast<Kind>(state.range(0));
  ZExpBuf p = Packet(kind);
  const std::size_t expected = Wire(kind).size();
  std::vector<std::uint8_t> wire(ZExpBuf::MaxPacketLength);
  int length = 0;
  for (auto _ : state) {
    p.Encode(length, wire.data());
    benchmark::DoNotOptimize(wire.data());
    benchmark::ClobberMemory();
  }
  if (static_cast<std::size_t>(length) != expected) state.SkipWithError("wrong packet size");
  Label(state, expected);
}

void BM_Decode(benchmark::State& state) {
  const std::vector<std::uint8_t> wire = Wire(static_cast<Kind>(state.range(0)));
  const int length = static_cast<int>(wire.size());
  ZExpBuf got;
  std::int32_t result = 0;
  for (auto _ : state) {
    result = got.Decode(length, wire.data());
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  if (result != length) state.SkipWithError("wrong decode result");
  Label(state, wire.size());
}

// The two copies Decode makes, and nothing else.
void BM_DecodeCopyFloor(benchmark::State& state) {
  const std::vector<std::uint8_t> wire = Wire(static_cast<Kind>(state.range(0)));
  ZExpBuf got;
  if (got.Decode(static_cast<int>(wire.size()), wire.data()) != static_cast<std::int32_t>(wire.size()))
    state.SkipWithError("wrong decode result");
  // Decode's own destinations: the views point into the packet's arrays, which this
  // (non-const) object owns.
  char* text_to = const_cast<char*>(got.TextView().data());
  auto* data_to = const_cast<std::uint8_t*>(got.DataView().data());
  const auto t = static_cast<std::size_t>(got.GetTextLength());
  const auto d = static_cast<std::size_t>(got.GetDataLength());
  const std::uint8_t* text_from = wire.data() + ZExpBuf::HeaderLength;
  const std::uint8_t* data_from = text_from + t + 1;
  for (auto _ : state) {
    std::memcpy(text_to, text_from, t);
    std::memcpy(data_to, data_from, d);
    benchmark::DoNotOptimize(text_to);
    benchmark::DoNotOptimize(data_to);
    benchmark::ClobberMemory();
  }
  Label(state, wire.size());
}

}  // namespace

BENCHMARK(BM_Encode)->DenseRange(kHeartbeat, kLargest);
BENCHMARK(BM_Decode)->DenseRange(kHeartbeat, kLargest);
BENCHMARK(BM_DecodeCopyFloor)->DenseRange(kHeartbeat, kLargest);
