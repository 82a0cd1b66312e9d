// The body parsers and the range list on arbitrary text, and builder/parser round
// trips of bodies made from the input.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "FuzzCheck.h"
#include "protocol/ProbeExpBuf.h"

namespace {

using zp::ZExpBuf;

// Expansion is linear in the items it writes, and any range such as "1-99999" reaches
// the limit: a small one keeps every input cheap while the cut-off itself is still
// reached and checked.
constexpr std::size_t kItemLimit = 64;

std::int64_t ItemsOf(const std::string& expanded) {
  return expanded.empty() ? 0 : 1 + std::count(expanded.begin(), expanded.end(), ',');
}

std::string Pick(FuzzedDataProvider& in, std::size_t max_length, std::string_view alphabet) {
  std::string s = in.ConsumeRandomLengthString(max_length);
  for (char& c : s) c = alphabet[static_cast<unsigned char>(c) % alphabet.size()];
  return s;
}

void ParseAnything(std::string_view text) {
  ZExpBuf p;
  p.SetText(text);
  const std::size_t length = p.TextView().size();
  const zp::ZLoginBody login = p.ParseLogin();
  FUZZ_CHECK(length >= 66 || (login.Mode == '?' && login.Sequence == 0 && login.CallerName.empty()));
  FUZZ_CHECK(login.CallerName.size() <= 12 && login.CallerAddress.size() <= 16);
  const zp::ZStatusReply reply = p.ParseStatusReply();
  FUZZ_CHECK(length >= 15 || (reply.Sequence == 9997 && reply.Label == "none"));
  const zp::ZSequenceText st = p.ParseSequenceText();
  FUZZ_CHECK(st.FreeText == (length >= 10 ? p.TextView().substr(9) : std::string_view{}));
}

// Range lists arrive in a heartbeat's text part, so never longer than MaxTextPart;
// counting a longer one walks items no peer can send.
void RangeList(std::string_view text) {
  text = text.substr(0, ZExpBuf::MaxTextPart);
  const std::int64_t count = zp::CountRangeListItems(text);
  const std::string expanded = zp::ExpandRangeList(text, kItemLimit);
  FUZZ_CHECK(count >= 0);
  FUZZ_CHECK(ItemsOf(expanded) == std::min<std::int64_t>(count, kItemLimit));
}

void RoundTrips(FuzzedDataProvider& in) {
  constexpr std::string_view upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";
  constexpr std::string_view dotted = "0123456789.";
  constexpr std::string_view graphic =
      "!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~";
  ZExpBuf p;

  zp::ZLoginBody b;
  b.Sequence = in.ConsumeIntegralInRange(0, 9999);
  b.Mode = Pick(in, 1, graphic).append(1, 'P')[0];
  b.ClientId = in.ConsumeIntegralInRange(0, 2147483647);
  b.ClientSubId = in.ConsumeIntegralInRange(0, 9999);
  b.RecordCount = in.ConsumeIntegralInRange(0, 9999);
  b.LoginFlag = in.ConsumeIntegralInRange(0, 9999);
  b.CallerName = Pick(in, 12, upper);
  b.CallerAddress = Pick(in, 16, dotted);
  b.OptionNumber = in.ConsumeIntegralInRange(0, 9999);
  b.OptionCode = b.OptionNumber > 0 ? Pick(in, 1, graphic).append(1, 's')[0] : ' ';
  b.Status = in.ConsumeIntegralInRange(0, 999999);
  b.StatusText = b.Status != 0 ? Pick(in, 400, graphic) : "";
  p.BuildLogin(b);
  const zp::ZLoginBody l = p.ParseLogin();
  FUZZ_CHECK(l.Sequence == b.Sequence && l.Mode == b.Mode && l.ClientId == b.ClientId &&
             l.ClientSubId == b.ClientSubId && l.RecordCount == b.RecordCount && l.LoginFlag == b.LoginFlag &&
             l.CallerName == b.CallerName && l.CallerAddress == b.CallerAddress &&
             l.OptionNumber == b.OptionNumber && l.OptionCode == b.OptionCode && l.Status == b.Status &&
             l.StatusText == b.StatusText);

  const std::int32_t sequence = in.ConsumeIntegralInRange(0, 9999);
  const char mode = Pick(in, 1, graphic).append(1, 'U')[0];
  const std::string label = Pick(in, 4, " abcXYZ09").append(4, ' ').substr(0, 4);
  const std::int32_t status = in.ConsumeIntegralInRange(0, 999999);
  const std::string text = status != 0 ? Pick(in, 480, std::string(graphic) + " \t") : "";
  p.BuildDetail(sequence, mode, label, status, text);
  const zp::ZStatusReply r = p.ParseStatusReply();
  FUZZ_CHECK(r.Sequence == sequence && r.Mode == mode && r.Label == label && r.Status == status &&
             r.StatusText == text);

  const std::string free = Pick(in, 500, std::string(graphic) + " \t");
  p.BuildHeartbeat(sequence, free);
  const zp::ZSequenceText s = p.ParseSequenceText();
  FUZZ_CHECK(s.Sequence == sequence && s.FreeText == free);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ParseAnything(text);
  RangeList(text);
  FuzzedDataProvider in(data, size);
  RoundTrips(in);
  return 0;
}
