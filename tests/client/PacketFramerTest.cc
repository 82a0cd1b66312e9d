#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/PacketFramer.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

// Records what the framer reports, in order, as one list of lines.
struct RecordingSink final : PacketFramer::Sink {
  std::vector<std::string> events;
  std::vector<std::string> packets;
  // A packet's header line is recorded by its tag alone.
  void Trace(const std::string& line) override {
    events.push_back(line.rfind('<', 0) == 0 ? "header " + line.substr(0, line.find(' ')) : "trace " + line);
  }
  void Dump(const std::string& prefix, int length, const std::uint8_t*) override {
    events.push_back("dump " + prefix + " " + std::to_string(length));
  }
  void Packet(const std::uint8_t* data, int length) override {
    packets.emplace_back(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
  }
  bool StopRequested() override { return false; }
};

std::string Encoded(char type, const std::string& text, const std::string& data = "") {
  ZExpBuf p;
  p.PacketType = type;
  p.SetText(text);
  p.SetData(static_cast<int>(data.size()), reinterpret_cast<const std::uint8_t*>(data.data()));
  std::vector<std::uint8_t> out(ZExpBuf::MaxPacketLength);
  int n = 0;
  p.Encode(n, out.data());
  return std::string(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n));
}

class FramerTest : public ::testing::Test {
 protected:
  void Feed(const std::string& bytes) {
    framer_.Receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<int>(bytes.size()), sink_);
  }
  PacketFramer framer_;
  RecordingSink sink_;
};

TEST_F(FramerTest, TwoAndAHalfPacketsInOneRead) {
  const std::string a = Encoded('H', "//0702// 1"), b = Encoded('L', "//0703//"), c = Encoded('H', "//0704// 3");
  Feed(a + b + c.substr(0, 20));
  EXPECT_THAT(sink_.packets, ElementsAre(a, b));
  EXPECT_THAT(sink_.events, ElementsAre("dump Rx" + std::to_string(a.size() + b.size() + 20) + " 80", "header <Rx>",
                                        "header <Rx2>", "dump @end 20"));
  EXPECT_EQ(framer_.Bytes(), 20);
  sink_.events.clear();
  Feed(c.substr(20));
  EXPECT_EQ(sink_.packets.back(), c) << "the rest completes the third packet";
  EXPECT_THAT(sink_.events, ElementsAre("dump Rx " + std::to_string(c.size()), "header <Rx>"));
}

TEST_F(FramerTest, TenBytesOfGarbageKeepTheLastTwo) {
  Feed("0123456789");
  ASSERT_GE(sink_.events.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(sink_.events.begin(), sink_.events.begin() + 4),
              ElementsAre("dump Rx 10", "trace Garbage Found - FLanBytes=10 k=8  FLanBytes-k=2",
                          "trace Garbage Found - 2 Bytes Moved (should be start of valid packet):",
                          "dump MovedUp 2"));
  EXPECT_TRUE(sink_.packets.empty());
  EXPECT_LE(framer_.Bytes(), 1) << "the decode rejected what it was offered";
}

TEST_F(FramerTest, GarbageThenPacketInOneRead) {
  const std::string p = Encoded('R', "", "OK\r\nr1=127.0.0.1:9");
  Feed("xyz\x01S" + p);
  ASSERT_THAT(sink_.packets, ElementsAre(p));
  EXPECT_THAT(sink_.events[1], HasSubstr("k=5"));
  EXPECT_EQ(framer_.Bytes(), 0);
}

TEST_F(FramerTest, SingleBytesAssembleOnePacket) {
  const std::string p = Encoded('L', std::string(74, 'x'));
  for (char c : p) Feed(std::string(1, c));
  EXPECT_THAT(sink_.packets, ElementsAre(p));
}

TEST_F(FramerTest, LargestPacketArrivesWholeAcrossReads) {
  const std::string p = Encoded('P', std::string(512, 't'), std::string(5320, 'd'));
  ASSERT_EQ(p.size(), 5863u);
  Feed(p.substr(0, PacketFramer::kReadSize));
  EXPECT_TRUE(sink_.packets.empty());
  Feed(p.substr(PacketFramer::kReadSize));
  EXPECT_THAT(sink_.packets, ElementsAre(p)) << "one block, not two";
}

// A header announcing far more than a legal packet is dropped at once, and the valid
// packet behind it in the same read still gets through.
TEST_F(FramerTest, ImpossibleLengthIsGarbageNotAWait) {
  std::string bogus = Encoded('H', "x");
  bogus.replace(3, 6, "999999");
  const std::string good = Encoded('H', "//0702// ");
  Feed(bogus + good);
  EXPECT_THAT(sink_.packets, ElementsAre(good));
  EXPECT_EQ(framer_.Bytes(), 0);
  // Nor can such headers ever fill the buffer.
  for (int i = 0; i < 20; ++i) {
    Feed(std::string("\x01Sa999990", 9) + std::string(4000, 'z'));
    ASSERT_LE(framer_.Bytes(), 2);
    ASSERT_GT(framer_.ReadSpace(), 0);
  }
}

TEST_F(FramerTest, ClearDiscardsHeldBytes) {
  Feed(Encoded('H', "abc").substr(0, 10));
  ASSERT_EQ(framer_.Bytes(), 10);
  framer_.Clear();
  EXPECT_EQ(framer_.Bytes(), 0);
  EXPECT_EQ(framer_.Data()[0], 0);
}

}  // namespace
}  // namespace zp
