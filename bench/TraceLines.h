#pragma once
#include <cstdio>
#include <string>

namespace zp::bench {

// The trace benchmarks of both windows: lines are handed over in batches of this many,
// each like a hex dump line of a received packet, numbered so that order can be checked.
inline constexpr int kBatch = 1000;

inline std::string TraceText(int i) {
  char text[96];
  std::snprintf(text, sizeof text, "Rx 0016: 30 30 30 41 20 20 20 20 20 30 30 30 30 %04d", i % 10000);
  return text;
}

}  // namespace zp::bench
