#include "protocol/ProbeExpBuf.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace zp {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encoded(ZExpBuf& packet) {
  Bytes out(ZExpBuf::MaxPacketLength);
  int length = 0;
  packet.Encode(length, out.data());
  out.resize(static_cast<std::size_t>(length));
  return out;
}

// Decodes the first `n` bytes from a heap copy of exactly that size, so that a read
// past them fails under AddressSanitizer.
std::int32_t Decode(ZExpBuf& packet, const Bytes& bytes, std::size_t n = SIZE_MAX) {
  n = std::min(n, bytes.size());
  const Bytes exact(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
  return packet.Decode(static_cast<int>(n), exact.data());
}

// A packet assembled by hand from the 25 header characters after the start triple.
Bytes Wire(const std::string& header, const std::string& text, const Bytes& data = {}) {
  Bytes out{0x01, 'S', 'a'};
  out.insert(out.end(), header.begin(), header.end());
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0x1C);
  out.insert(out.end(), data.begin(), data.end());
  out.insert(out.end(), {0x03, 0xFA});
  return out;
}

TEST(ZExpBufEncode, NewPacketAndFieldWidths) {
  ZExpBuf p;
  EXPECT_EQ(Encoded(p), Wire("000000?0000    0000000000", ""));

  p.PacketType = 'H';
  p.ClientSequence = 12345;
  p.DataCenterId = "AB";
  p.CircuitNumber = 1234567;
  p.CircuitSequence = -5;
  p.SetText("x");
  EXPECT_EQ(Encoded(p), Wire("000001H1234AB  123456-000", "x"));
  p.DataCenterId = "WXYZQ";
  EXPECT_EQ(p.DataCenterId.View(), "WXYZ");
}

TEST(ZExpBufDecode, RoundTripByteByByte) {
  ZExpBuf sent;
  sent.PacketType = 'L';
  sent.ClientSequence = 7;
  sent.DataCenterId = "AB";
  sent.CircuitNumber = 123456;
  sent.CircuitSequence = 701;
  sent.SetText("//0001// hello");
  const Bytes data{0x00, 0x1C, 0x03, 0xFA, 0x01, 'S', 'a'};
  sent.SetData(static_cast<int>(data.size()), data.data());
  const Bytes wire = Encoded(sent);
  ASSERT_EQ(wire.size(), 31u + 14u + 7u);

  ZExpBuf got;
  got.PacketType = 'Q';
  got.SetText("old");
  for (std::size_t n = 0; n < wire.size(); ++n) {
    ASSERT_EQ(Decode(got, wire, n), -1) << n;
    ASSERT_EQ(got.GetTBytes(), n < 9 ? 0 : 21) << "never a stale length";
  }
  EXPECT_EQ(got.PacketType, 'Q') << "an incomplete packet leaves the other fields";
  EXPECT_EQ(got.GetText(), "old");

  Bytes two = wire;
  two.insert(two.end(), {0x01, 'S', 'a', '0'});
  EXPECT_EQ(Decode(got, two), static_cast<std::int32_t>(wire.size()));
  EXPECT_EQ(got.PacketType, 'L');
  EXPECT_EQ(got.ClientSequence, 7);
  EXPECT_EQ(got.DataCenterId.View(), "AB  ") << "blanks kept";
  EXPECT_EQ(got.CircuitNumber, 123456);
  EXPECT_EQ(got.CircuitSequence, 701);
  EXPECT_EQ(got.GetText(), "//0001// hello");
  Bytes back(ZExpBuf::MaxDataPart);
  int length = -1;
  got.GetData(length, back.data());
  back.resize(static_cast<std::size_t>(length));
  EXPECT_EQ(back, data);
  EXPECT_EQ(Encoded(got), wire);
}

TEST(ZExpBufDecode, WrongSignatureOrRevisionIsNoPacket) {
  Bytes wire = Wire("000000R0001    0000000000", "");
  ZExpBuf got;
  got.ClientSequence = 55;
  wire[0] = 0x7F;
  wire[1] = 's';
  EXPECT_EQ(Decode(got, wire, 2), 0);
  EXPECT_EQ(got.GetStart(), 0x7F);
  EXPECT_EQ(got.GetSignature(), 's');
  EXPECT_EQ(got.GetRevision(), 'a') << "only Start and Signature change";
  EXPECT_EQ(got.ClientSequence, 55);
  wire[1] = 'S';
  wire[2] = 'b';
  EXPECT_EQ(Decode(got, wire), 0);
  wire[2] = 'a';
  EXPECT_EQ(Decode(got, wire), 31) << "any start byte is accepted";
}

TEST(ZExpBufDecode, MalformedPacketsAreNotConsumed) {
  ZExpBuf got;
  // A letter in TBytes reads as 0: the packet is taken as 31 bytes ...
  const Bytes empty = Wire("00a000R0001    0000010002", "");
  EXPECT_EQ(Decode(got, empty, 30), -1);
  EXPECT_EQ(Decode(got, empty), 31);
  EXPECT_EQ(got.CircuitSequence, 2);
  // ... and when its text does not end there, it is no packet.
  got.PacketType = 'Z';
  EXPECT_EQ(Decode(got, Wire("00a000R0001    0000010002", "text")), 0);
  EXPECT_EQ(got.PacketType, 'Z') << "header fields untouched";

  Bytes negative = Wire("-00005D0001    0000010002", "abc", {'x', 'y'});
  negative.resize(200, 0x1C);
  EXPECT_EQ(Decode(got, negative), 0);

  // The separator may sit exactly at 28 + TBytes, not one further.
  Bytes edge = Wire("000005T0001    0000010002", "12345");
  EXPECT_EQ(Decode(got, edge), 36);
  edge[8] = '4';
  EXPECT_EQ(Decode(got, edge), 0);

  // A text part ends at its first 0x1C; the rest is data.
  EXPECT_EQ(Decode(got, Wire("000006T0001    0000010002", std::string("ab\x1C" "cd", 5), {'e'})), 37);
  EXPECT_EQ(got.GetText(), "ab");
  EXPECT_EQ(got.GetDataLength(), 4);
}

TEST(ZExpBufDecode, OversizedPartsAreCutButConsumedWhole) {
  ZExpBuf got;
  Bytes wire = Wire("006600D0001    0000010002", std::string(600, 't'), Bytes(6000, 0xD0));
  wire[wire.size() - 1] = 'Z';  // end bytes are not checked
  EXPECT_EQ(Decode(got, wire), 6631);
  EXPECT_EQ(got.GetTBytes(), 6600);
  EXPECT_EQ(got.GetTextLength(), 512);
  EXPECT_EQ(got.GetDataLength(), 5320);
  EXPECT_EQ(got.GetEndCheck(), 'Z');
  EXPECT_EQ(Encoded(got).back(), 0xFA) << "Encode writes the constant";
}

TEST(ZExpBufParts, SetDataAndSetTextKeepTheLengthsConsistent) {
  ZExpBuf p;
  const Bytes big(6000, 9);
  p.SetText("abc");
  p.SetData(4, big.data());
  p.SetData(6000, big.data());
  p.SetData(-1, big.data());
  EXPECT_EQ(p.GetDataLength(), 4) << "an impossible length leaves the data part";
  EXPECT_EQ(p.GetTBytes(), 7);

  p.SetText(std::string("left\x1Cright", 10));
  EXPECT_EQ(p.GetText(), "left");
  p.SetData(ZExpBuf::MaxDataPart, big.data());
  p.SetText(std::string(700, 'q'));
  EXPECT_EQ(p.GetTBytes(), 512 + 5320);
  EXPECT_EQ(Encoded(p).size(), static_cast<std::size_t>(ZExpBuf::MaxPacketLength));
}

TEST(ZExpBufTrace, OneLinePerKnownType) {
  const std::pair<char, const char*> cases[] = {
      {'D', "Detail      "}, {'H', "Heartbeat   "}, {'K', "KeyPage     "}, {'L', "Login       "},
      {'P', "PublicKey   "}, {'R', "Routes      "}, {'T', "Logout      "}};
  for (const auto& [type, name] : cases) {
    ZExpBuf p;
    p.PacketType = type;
    EXPECT_EQ(p.HeaderLines("Tx"), std::vector<std::string>{std::string("<Tx>     Sa (") + type + ")" + name +
                                                             "    0      000000 cli0000 seq0000 //0//"});
  }

  ZExpBuf p;
  p.BuildLogin(1, 'P', 1, 1, 25, 0, "PROFILE", "127.0.0.1", 14, 's', 0, "no error");
  p.DataCenterId = "AB";
  p.CircuitNumber = 42;
  p.ClientSequence = 7;
  p.CircuitSequence = 701;
  EXPECT_EQ(p.HeaderLines("Rx12").at(0),
            "<Rx12>   Sa (L)Login          74 AB   000042 cli0007 seq0701 "
            "\"//0001// P 0000000001 0001 0025 0000 PROFILE      127.0.0.1        <0014>s\" //0//");
}

TEST(ZExpBufTrace, UnknownTypeWritesEightFieldLines) {
  ZExpBuf p;
  p.PacketType = 'd';
  p.ClientSequence = 12;
  p.DataCenterId = "AB";
  p.SetText("not shown");
  const std::vector<std::string> expected = {
      "!Tx\tSignature\tS",         "!Tx\tRevision\ta",          "!Tx\tTBytes\t9",
      "!Tx\tPacketType\td",        "!Tx\tClientSequence\t0012", "!Tx\tDataCenterId\tAB",
      "!Tx\tCircuitNumber\t000000", "!Tx\tCircuitSequence\t0000"};
  EXPECT_EQ(p.HeaderLines("!Tx"), expected);
}

}  // namespace
}  // namespace zp
