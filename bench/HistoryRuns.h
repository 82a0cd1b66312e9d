#pragma once
#include <string>

#include "history/HistoryRecord.h"

namespace zp::bench {

// The runs of the history benchmarks, as a periodic check records them: one every five
// minutes, ten routes each, from two settings (one run in three from the second), some
// routes failing, one run in 97 stopped with half of its routes not scored.
inline constexpr int kBenchRoutes = 10;
inline constexpr long long kBenchFirstStartMs = 1'800'000'000'000LL;
inline constexpr long long kBenchPeriodMs = 300'000;

inline HistoryRun BenchRun(long long i) {
  HistoryRun run;
  run.start_utc_ms = kBenchFirstStartMs + i * kBenchPeriodMs;
  run.settings = {i % 3 == 0 ? "10.0.0.9" : "127.0.0.1", 0x6900, "A"};
  run.stopped = i % 97 == 0;
  run.elapsed_seconds = 3.25;
  run.key_outcome = "received";
  run.version = "bench";
  int failed = 0;
  for (int r = 0; r < kBenchRoutes; ++r) {
    HistoryRoute route;
    route.name = "r" + std::to_string(r + 1);
    route.entry = route.name + "=127.0.0.1:" + std::to_string(40001 + r);
    const bool fails = (i + r) % 23 == 0;
    const bool unscored = run.stopped && r >= kBenchRoutes / 2;
    if (!unscored) route.score = fails ? 25 : static_cast<int>((i * 7 + r) % 4);
    route.failed = fails && !unscored;
    route.profile_seconds = 0.05 + static_cast<double>((i + r) % 10) * 0.01;
    route.outcome = unscored ? "not_tried" : fails ? "connect_failed" : "scored";
    route.reason = fails ? "refused the connection" : "all 25 detail records arrived";
    failed += route.failed;
    run.routes.push_back(route);
  }
  run.servers.push_back({"127.0.0.1", "127.0.0.1", 0x6900, "answered"});
  run.banner = run.stopped ? "STOPPED" : failed == 0 ? "SUCCESS" : "SOME ROUTES FAILED";
  run.result_code = failed == 0 ? 1 : 2;
  return run;
}

}  // namespace zp::bench
