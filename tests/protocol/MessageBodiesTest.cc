#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/ProbeExpBuf.h"

namespace zp {
namespace {

// What the peer sees: the packet encoded and decoded into a fresh object.
ZExpBuf OverTheWire(ZExpBuf& sent) {
  std::vector<std::uint8_t> wire(ZExpBuf::MaxPacketLength);
  int length = 0;
  sent.Encode(length, wire.data());
  ZExpBuf got;
  EXPECT_EQ(got.Decode(length, wire.data()), length);
  return got;
}

ZExpBuf WithText(const std::string& text) {
  ZExpBuf p;
  p.SetText(text);
  return p;
}

TEST(BodyBuilders, WhatTheClientSends) {
  ZExpBuf p;
  p.CircuitNumber = 6;
  p.SetData(3, reinterpret_cast<const std::uint8_t*>("abc"));
  const std::pair<char, std::string> expected[] = {
      {'R', "0000000001 0001 NETAPI       73105        A"},
      {'L', "//0003// P 0000000001 0001 0025 0000 PROFILE      127.0.0.1        <0014>s"},
      {'L', "//0004// K 0000000001 0001 0001 0001 NETAPI       127.0.0.1        <0014>s"},
      {'D', "//0003// U none"},
      {'H', "//0004// 1"},
      {'T', "//0004// 12/07 19:54:42"}};
  const std::function<void()> builds[] = {
      [&] { p.BuildRoutesRequest(1, 1, "NETAPI", "73105", 'A'); },
      [&] { p.BuildLogin(3, 'P', 1, 1, 25, 0, "PROFILE", "127.0.0.1", 14, 's', 0, "no error"); },
      [&] { p.BuildLogin(4, 'K', 1, 1, 1, 1, "NETAPI", "127.0.0.1", 14, 's', 0, "no error"); },
      [&] { p.BuildDetail(3, 'U', "none", 0, "no error"); },
      [&] { p.BuildHeartbeat(4, "1"); },
      [&] { p.BuildLogout(4, "12/07 19:54:42"); }};
  for (std::size_t i = 0; i < std::size(builds); ++i) {
    builds[i]();
    EXPECT_EQ(p.PacketType, expected[i].first);
    EXPECT_EQ(p.GetText(), expected[i].second);
    EXPECT_EQ(p.GetTBytes(), p.GetTextLength() + 3) << "data part kept";
    EXPECT_EQ(p.CircuitNumber, 6);
  }
}

TEST(BodyBuilders, LoginFormsAndStatus) {
  ZExpBuf p;
  p.BuildLogin(1, 'P', 1, 1, 25, 0, "PROFILE", "127.0.0.1", 0, 's', 0, "");
  EXPECT_EQ(p.GetTextLength(), 66);
  p.BuildLogin(1, 'P', 1, 1, 25, 0, "A-NAME-LONGER-THAN-12", "127.0.0.1", 0, 's', 5, "x");
  EXPECT_EQ(p.GetText().substr(37, 13), "A-NAME-LONGE ");
  EXPECT_EQ(p.GetText().substr(66), " 000005 x");
  p.BuildDetail(1, 'U', "none", 9, std::string(1000, 'z'));
  EXPECT_EQ(p.GetTextLength(), ZExpBuf::MaxTextPart);
}

TEST(BodyParsers, RoundTripsThroughThePacket) {
  ZExpBuf sent;
  sent.BuildLogin(42, 'P', 1, 2, 25, 3, "profile", "127.0.0.1", 14, 's', 17, "bad key ");
  const ZLoginBody b = OverTheWire(sent).ParseLogin();
  EXPECT_EQ(std::tie(b.Sequence, b.Mode, b.ClientId, b.ClientSubId, b.RecordCount, b.LoginFlag),
            std::make_tuple(42, 'P', 1, 2, 25, 3));
  EXPECT_EQ(b.CallerName, "PROFILE") << "upper case, no trailing blanks";
  EXPECT_EQ(b.CallerAddress, "127.0.0.1");
  EXPECT_EQ(std::tie(b.OptionNumber, b.OptionCode, b.Status), std::make_tuple(14, 's', 17));
  EXPECT_EQ(b.StatusText, "bad key");

  sent.BuildDetail(702, 'P', "KEY1", 17, "no such key ");
  const ZStatusReply r = OverTheWire(sent).ParseStatusReply();
  EXPECT_EQ(std::tie(r.Sequence, r.Mode, r.Label, r.Status, r.StatusText),
            std::make_tuple(702, 'P', std::string("KEY1"), 17, std::string("no such key ")));

  sent.BuildHeartbeat(703, "1-25");
  const ZSequenceText h = OverTheWire(sent).ParseSequenceText();
  EXPECT_EQ(h.Sequence, 703);
  EXPECT_EQ(h.FreeText, "1-25");
}

TEST(BodyParsers, ShortAndIrregularTexts) {
  const std::string base = "//0042// P 0000000001 0001 0025 0000 PROFILE      127.0.0.1       ";
  const ZLoginBody tooShort = WithText(base.substr(0, 65)).ParseLogin();
  EXPECT_EQ(std::tie(tooShort.Mode, tooShort.Sequence, tooShort.RecordCount), std::make_tuple('?', 0, 0));
  EXPECT_EQ(tooShort.CallerName, "");

  // Longer than 66 without "<" at 68: the status follows the base form directly.
  const ZLoginBody status = WithText(base + " 000123 \t denied \r\n").ParseLogin();
  EXPECT_EQ(std::tie(status.Sequence, status.Status, status.OptionNumber), std::make_tuple(42, 123, 0));
  EXPECT_EQ(status.StatusText, "denied");

  // A bracket group cut before its letter: the letter stays blank.
  const ZLoginBody cut = WithText(base + " <0014").ParseLogin();
  EXPECT_EQ(std::tie(cut.OptionNumber, cut.OptionCode, cut.Status), std::make_tuple(14, ' ', 0));

  const ZStatusReply reply = WithText("//0702// P a   ").ParseStatusReply();
  EXPECT_EQ(std::tie(reply.Sequence, reply.Label, reply.Status), std::make_tuple(702, std::string("a   "), 0));
  const ZStatusReply none = WithText("//0702// P KEY").ParseStatusReply();
  EXPECT_EQ(std::tie(none.Sequence, none.Mode, none.Label, none.Status),
            std::make_tuple(9997, '*', std::string("none"), 0));

  const ZSequenceText partial = WithText("//12").ParseSequenceText();
  EXPECT_EQ(partial.Sequence, 12);
  EXPECT_EQ(partial.FreeText, "");
}

}  // namespace
}  // namespace zp
