// Records runs into a history file as fast as it can, for the tests of two writers at
// once and of a writer killed in the middle of a transaction.
// Usage: zp_history_writer PATH COUNT TAG [reopen]   (COUNT 0: until killed)
// Run i has 1 + i % 5 routes and as many route servers, and says how many in its route
// code, so a reader can tell a whole run from a torn one. With "reopen" each run is
// recorded through a connection of its own, opened and closed as a periodic check does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "history/RunHistory.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return 2;
  const bool reopen = argc == 5 && std::strcmp(argv[4], "reopen") == 0;
  auto history = std::make_unique<zp::RunHistory>(argv[1], 100000);
  const long count = std::atol(argv[2]);
  for (long i = 0; count == 0 || i < count; ++i) {
    if (reopen) history = std::make_unique<zp::RunHistory>(argv[1], 100000);
    zp::HistoryRun run;
    run.start_utc_ms = 1'800'000'000'000LL + i;
    const int parts = 1 + static_cast<int>(i % 5);
    run.settings = {argv[3], 0x6900, std::to_string(parts)};
    run.banner = "SUCCESS";
    run.result_code = 1;
    for (int k = 0; k < parts; ++k) {
      run.routes.push_back({"r" + std::to_string(k) + "=127.0.0.1:7000", "r" + std::to_string(k), k, false, 0.01 * k,
                            "scored", "all 25 detail records arrived"});
      run.servers.push_back({"127.0.0.1", "127.0.0.1", 0x6900, "answered"});
    }
    if (!history->Record(run)) {
      std::fprintf(stderr, "%s\n", history->LastError().c_str());
      return 1;
    }
  }
  return 0;
}
