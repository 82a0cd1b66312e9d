// The monitoring writer on runs whose every text came from a hostile network: route
// entries, names, failure details, route servers' words, the key's detail, the state the
// stop found and the history's error. Whatever the bytes, the first line holds exactly one
// "|" (before the perfdata) and every other line none, and no line holds a byte outside
// printable ASCII or a valid UTF-8 sequence that is no control character.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "../protocol/FuzzCheck.h"
#include "cli/MonitoringReport.h"

namespace {

// The length of the valid, non-control UTF-8 sequence at `i`, or 0.
std::size_t Utf8At(const std::string& s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  const std::size_t n = c >= 0xF5 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  std::uint32_t code = c & (0x3F >> (n - 1));
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    code = (code << 6) | (b & 0x3F);
  }
  const std::uint32_t least = n == 2 ? 0xA0 : n == 3 ? 0x800 : 0x10000;  // C1 controls end at 0x9F
  return code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF) ? 0 : n;
}

// `first_bars`: the "|" of the first line, 1 before the perfdata, 0 for a line without.
void CheckLines(const std::string& text, std::size_t first_bars) {
  FUZZ_CHECK(!text.empty() && text.back() == '\n');
  std::size_t line = 0, bars = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      FUZZ_CHECK(bars == (line == 0 ? first_bars : 0u));
      ++line;
      bars = 0;
      ++i;
      continue;
    }
    if (c >= 0x20 && c < 0x7F) {
      bars += c == '|';
      ++i;
      continue;
    }
    const std::size_t n = Utf8At(text, i);
    FUZZ_CHECK(n > 0);
    i += n;
  }
}

std::string Text(FuzzedDataProvider& in) { return in.ConsumeRandomLengthString(64); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  zp::ConsoleOutcome out;
  zp::RunSnapshot& run = out.run;
  run.finished = true;
  run.stopped = in.ConsumeBool();
  run.result_code = in.ConsumeIntegralInRange(0, 2);
  run.elapsed_seconds = in.ConsumeFloatingPointInRange(0.0, 1e6);
  const int routes = in.ConsumeIntegralInRange(0, 4);
  for (int i = 0; i < routes; ++i) {
    zp::RouteResult r;
    r.name = Text(in);
    r.entry = Text(in);
    r.detail = Text(in);
    r.score = in.ConsumeIntegral<std::int32_t>();
    r.failed = in.ConsumeBool();
    r.outcome = static_cast<zp::RouteOutcome>(in.ConsumeIntegralInRange(0, 7));
    run.routes.push_back(std::move(r));
  }
  const int servers = in.ConsumeIntegralInRange(0, 2);
  for (int i = 0; i < servers; ++i) {
    zp::ServerResult s;
    s.server = Text(in);
    s.address = Text(in);
    s.detail = Text(in);
    s.outcome = static_cast<zp::ServerOutcome>(in.ConsumeIntegralInRange(0, 6));
    run.servers.push_back(std::move(s));
  }
  run.key.outcome = static_cast<zp::KeyOutcome>(in.ConsumeIntegralInRange(0, 2));
  run.key.detail = Text(in);
  out.stopped_by = in.ConsumeBool() ? std::string(zp::kByTimeOut) : Text(in);
  out.end_state = Text(in);
  out.stopped_phase = static_cast<zp::RunPhase>(in.ConsumeIntegralInRange(0, 5));
  out.ended.emplace();
  out.ended->record_error = Text(in);
  CheckLines(zp::MonitoringReport(out), 1);
  CheckLines(zp::MonitoringUsageError(in.ConsumeRemainingBytesAsString()), 0);
  return 0;
}
