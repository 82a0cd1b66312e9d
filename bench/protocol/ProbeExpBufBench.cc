// Encode and Decode of the largest packet and of a small one, beside a plain copy of
// the same number of bytes measured in the same run.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "protocol/ProbeExpBuf.h"

namespace {

using zp::ZExpBuf;

// A packet of `size` bytes: text part first, then data part.
ZExpBuf PacketOfSize(int size) {
  const int payload = size - ZExpBuf::FramingOverhead;
  const int text = payload < ZExpBuf::MaxTextPart ? payload : ZExpBuf::MaxTextPart;
  ZExpBuf p;
  p.PacketType = 'P';
  p.ClientSequence = 12;
  p.DataCenterId = "AB";
  p.CircuitNumber = 42;
  p.CircuitSequence = 702;
  p.SetText(std::string(static_cast<std::size_t>(text), 't'));
  const std::vector<std::uint8_t> data(static_cast<std::size_t>(payload - text), 0xD0);
  p.SetData(payload - text, data.data());
  return p;
}

void BM_Memcpy(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> from(size, 0x5A), to(ZExpBuf::MaxPacketLength);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), size);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Encode(benchmark::State& state) {
  ZExpBuf p = PacketOfSize(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> wire(ZExpBuf::MaxPacketLength);
  int length = 0;
  for (auto _ : state) {
    p.Encode(length, wire.data());
    benchmark::DoNotOptimize(wire.data());
    benchmark::ClobberMemory();
  }
  if (length != state.range(0)) state.SkipWithError("wrong packet size");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Decode(benchmark::State& state) {
  ZExpBuf p = PacketOfSize(static_cast<int>(state.range(0)));
  std::vector<std::uint8_t> wire(ZExpBuf::MaxPacketLength);
  int length = 0;
  p.Encode(length, wire.data());
  ZExpBuf got;
  std::int32_t result = 0;
  for (auto _ : state) {
    result = got.Decode(length, wire.data());
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  if (result != state.range(0)) state.SkipWithError("wrong decode result");
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(ZExpBuf::MaxPacketLength)->Arg(60);
BENCHMARK(BM_Encode)->Arg(ZExpBuf::MaxPacketLength)->Arg(60);
BENCHMARK(BM_Decode)->Arg(ZExpBuf::MaxPacketLength)->Arg(60);
