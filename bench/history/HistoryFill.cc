// Fills a history file with runs as a periodic check records them, one Record per run,
// through the history's own code: the file the listing figures are taken from. Then
// records a few more runs the way a console run does (a fresh open, the previous run with
// the same settings, the record) and prints what each took.
//
// usage: zp_history_fill PATH COUNT     (PATH on /dev/shm: each run is one synced commit)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../HistoryRuns.h"
#include "history/RunHistory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zp_history_fill PATH COUNT\n");
    return 2;
  }
  const std::string path = argv[1];
  const long long count = std::atoll(argv[2]);
  constexpr int kMore = 10;
  if (count < 1 || count > 10'000'000) {
    std::fprintf(stderr, "COUNT: 1 to 10000000\n");
    return 2;
  }
  std::error_code ec;
  std::filesystem::remove(path, ec);
  const int limit = static_cast<int>(count + kMore);
  const auto t0 = Clock::now();
  std::vector<double> last;  // the last thousand records, in ms
  {
    zp::RunHistory history(path, limit);
    for (long long i = 0; i < count; ++i) {
      zp::HistoryRun run = zp::bench::BenchRun(i);
      const auto r0 = Clock::now();
      if (!history.Record(run)) {
        std::fprintf(stderr, "run %lld: %s\n", i, history.LastError().c_str());
        return 1;
      }
      if (count - i <= 1000) last.push_back(Ms(Clock::now() - r0));
      if ((i + 1) % 10000 == 0) std::fprintf(stderr, "%lld runs\n", i + 1);
    }
  }
  const double fill_s = Ms(Clock::now() - t0) / 1e3;
  const auto bytes = std::filesystem::file_size(path);
  std::sort(last.begin(), last.end());
  std::printf("runs recorded:                 %lld in %.1f s\n", count, fill_s);
  std::printf("file size:                     %.1f MB, %.0f bytes a run\n", static_cast<double>(bytes) / 1e6,
              static_cast<double>(bytes) / static_cast<double>(count));
  std::printf("record, last 1000 (one open):  median %.3f ms, max %.3f ms\n", last[last.size() / 2], last.back());

  // As a console run records: its own open, the previous run with these settings, the run.
  std::vector<double> fresh;
  for (int k = 0; k < kMore; ++k) {
    zp::HistoryRun run = zp::bench::BenchRun(count + k);
    const auto r0 = Clock::now();
    zp::RunHistory history(path, limit);
    const auto previous = history.LastWith(run.settings);
    if (!previous || !history.Record(run)) {
      std::fprintf(stderr, "one more run: %s\n", history.LastError().c_str());
      return 1;
    }
    fresh.push_back(Ms(Clock::now() - r0));
  }
  std::sort(fresh.begin(), fresh.end());
  std::printf("record as a console run does:  median %.3f ms, max %.3f ms (%d runs: open, previous run, record)\n",
              fresh[fresh.size() / 2], fresh.back(), kMore);
  return 0;
}
