// Parsing an API buffer of about 20 KB (several long sections and many short ones), beside
// a plain byte scan of the same text measured in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "apibuf/ApiBufText.h"
#include "apibuf/CoreApiBuf.h"

namespace {

std::string Sec(const char* number, const std::string& body) { return std::string(1, '\x1C') + number + body; }

std::string Filled(std::size_t n, int seed) {
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/ ";
  std::string s;
  s.reserve(n);
  for (std::size_t i = 0; i < n; ++i) s.push_back(kChars[(i * 7 + static_cast<std::size_t>(seed)) % 65]);
  return s;
}

std::string Record() {
  zp::ApiBufReply reply;
  reply.PublicKey = Filled(4096, 1);
  std::string text = zp::ComposeApiBufText(reply);
  text += Sec("006", "12" "3" "4" + Filled(4096, 2));
  text += Sec("021", "Y" + Filled(4096, 3));
  text += Sec("023", Filled(3000, 4));
  text += Sec("301", "Z" + Filled(2000, 5));
  text += Sec("001", "ab" "c" "d" "1234" "12345" "123199" "235959" "e" "-0000000012345" "00000000000100"
                     "f" "ghijkl" "mnop" + Filled(255, 6));
  text += Sec("002", Filled(35 + 30 + 9, 7));
  text += Sec("004", "123456789" + Filled(35, 8) + "00000000012345" + Filled(29, 9) + "010203" "040506" +
                         Filled(29, 10) + "070809" "101112" "123456" "X");
  text += Sec("009", "first^second^third^fourth");
  for (const char* n : {"010", "012", "029", "030", "900", "901"}) text += Sec(n, Filled(255, n[2]));
  text += Sec("035", "abc" "d" "e" "fg" "hij" "0.00000" "123199" "235959" "00000000012345");
  text += Sec("050", Filled(119, 11));
  text += Sec("061", Filled(20, 12) + "2424" + Filled(480, 13));
  text += Sec("999", "no error        " + Filled(200, 14));
  return text;
}

const std::string& Text() {
  static const std::string text = Record();
  return text;
}

void BM_ByteScan(benchmark::State& state) {
  const std::string& text = Text();
  for (auto _ : state) {
    std::uint32_t separators = 0;
    for (const char c : text) separators += c == '\x1C';
    benchmark::DoNotOptimize(separators);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_Parse(benchmark::State& state) {
  const std::string& text = Text();
  zp::TCoreApiBuf record;
  for (auto _ : state) {
    record.ParseBytes(static_cast<std::int32_t>(text.size()), text.data());
    benchmark::DoNotOptimize(record.S017_01.data());
  }
  if (record.S017_01.size() != 4096 || record.S061_05[23].empty() || !record.S999_Present)
    state.SkipWithError("record not parsed whole");
  state.counters["text_bytes"] = static_cast<double>(text.size());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

BENCHMARK(BM_ByteScan);
BENCHMARK(BM_Parse);

}  // namespace
