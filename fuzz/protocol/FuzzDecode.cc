// Decode of arbitrary bytes, and encode/decode round trips of packets built from them.
#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "framework/Conversions.h"
#include "protocol/ProbeExpBuf.h"

namespace {

using zp::ZExpBuf;

bool SameContent(const ZExpBuf& a, const ZExpBuf& b) {
  return a.PacketType == b.PacketType && a.ClientSequence == b.ClientSequence &&
         a.DataCenterId == b.DataCenterId && a.CircuitNumber == b.CircuitNumber &&
         a.CircuitSequence == b.CircuitSequence && a.TextView() == b.TextView() &&
         a.GetDataLength() == b.GetDataLength() &&
         std::memcmp(a.DataView().data(), b.DataView().data(), a.DataView().size()) == 0;
}

// The raw bytes as a peer would send them.
void DecodeRaw(const std::uint8_t* data, std::size_t size) {
  const int available = size > INT_MAX ? INT_MAX : static_cast<int>(size);
  ZExpBuf p;
  const std::int32_t r = p.Decode(available, data);
  FUZZ_CHECK(r == 0 || r == -1 || (r >= ZExpBuf::FramingOverhead && r <= available));
  // Fewer bytes give "need more" or the same answer, so a receiver that gets the
  // stream in pieces decides as one that gets it whole.
  for (const int fewer : {available - 1, available / 2, 8}) {
    if (fewer < 0 || fewer >= available) continue;
    ZExpBuf part;
    const std::int32_t rp = part.Decode(fewer, data);
    const bool longer = fewer < 9 || p.GetTBytes() + ZExpBuf::FramingOverhead > fewer;
    FUZZ_CHECK(rp == r || (rp == -1 && (r == -1 || longer)));
    FUZZ_CHECK(rp != -1 || fewer >= 9 || part.GetTBytes() == 0);
  }
  if (r <= 0) return;
  FUZZ_CHECK(r == p.GetTBytes() + ZExpBuf::FramingOverhead);
  // Each header number is its field read as the text reader reads numbers, whatever
  // shortcut Decode takes for plain digits.
  auto field = [data](int offset, int width) {
    return zp::FieldToInt(std::string_view(reinterpret_cast<const char*>(data) + offset, static_cast<std::size_t>(width)));
  };
  FUZZ_CHECK(p.GetTBytes() == field(ZExpBuf::TBytesOffset, ZExpBuf::TBytesWidth));
  FUZZ_CHECK(p.ClientSequence == field(ZExpBuf::ClientSequenceOffset, ZExpBuf::ClientSequenceWidth));
  FUZZ_CHECK(p.CircuitNumber == field(ZExpBuf::CircuitNumberOffset, ZExpBuf::CircuitNumberWidth));
  FUZZ_CHECK(p.CircuitSequence == field(ZExpBuf::CircuitSequenceOffset, ZExpBuf::CircuitSequenceWidth));
  FUZZ_CHECK(p.GetTextLength() <= ZExpBuf::MaxTextPart && p.GetDataLength() <= ZExpBuf::MaxDataPart);

  // The packet is decided by its own bytes alone: the same answer from exactly r.
  ZExpBuf q;
  FUZZ_CHECK(q.Decode(r, data) == r);
  FUZZ_CHECK(SameContent(p, q));

  // What was decoded is sent on unchanged. (A negative number that fills its field
  // loses a digit to the minus sign when written again, so it is left out.)
  if (q.ClientSequence < 0 || q.CircuitNumber < 0 || q.CircuitSequence < 0) return;
  std::vector<std::uint8_t> wire(ZExpBuf::MaxPacketLength);
  int length = 0;
  q.Encode(length, wire.data());
  ZExpBuf again;
  FUZZ_CHECK(again.Decode(length, wire.data()) == length);
  FUZZ_CHECK(SameContent(p, again));
}

// A packet built from the input must come back field for field.
void RoundTrip(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  ZExpBuf sent;
  sent.PacketType = in.ConsumeIntegral<char>();
  sent.ClientSequence = in.ConsumeIntegralInRange(0, 9999);
  sent.DataCenterId = in.ConsumeRandomLengthString(6);
  sent.CircuitNumber = in.ConsumeIntegralInRange(0, 999999);
  sent.CircuitSequence = in.ConsumeIntegralInRange(0, 9999);
  const std::string text = in.ConsumeRandomLengthString(700);
  sent.SetText(text);
  const std::size_t cut = std::min(text.find('\x1C'), std::size_t{ZExpBuf::MaxTextPart});
  FUZZ_CHECK(sent.TextView() == std::string_view(text).substr(0, cut));
  const std::vector<std::uint8_t> bytes = in.ConsumeRemainingBytes<std::uint8_t>();
  sent.SetData(static_cast<int>(bytes.size()), bytes.data());
  FUZZ_CHECK(bytes.size() > ZExpBuf::MaxDataPart || sent.GetDataLength() == static_cast<int>(bytes.size()));

  std::vector<std::uint8_t> wire(ZExpBuf::MaxPacketLength);
  int length = 0;
  sent.Encode(length, wire.data());
  FUZZ_CHECK(length == sent.GetTBytes() + ZExpBuf::FramingOverhead && length <= ZExpBuf::MaxPacketLength);
  wire.resize(static_cast<std::size_t>(length));  // exact size: an over-read is caught

  ZExpBuf got;
  FUZZ_CHECK(got.Decode(length - 1, wire.data()) == -1);
  FUZZ_CHECK(got.Decode(length, wire.data()) == length);
  std::string dc = sent.DataCenterId.Str();
  dc.resize(4, ' ');
  FUZZ_CHECK(got.DataCenterId == dc);
  got.DataCenterId = sent.DataCenterId;
  FUZZ_CHECK(SameContent(sent, got));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DecodeRaw(data, size);
  RoundTrip(data, size);
  return 0;
}
