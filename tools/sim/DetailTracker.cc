#include "DetailTracker.h"

#include <algorithm>

namespace zp::sim {

void DetailTracker::Reset(std::int32_t expected) {
  FSeen.assign(static_cast<std::size_t>(std::clamp(expected, 0, kMaxRecords)), false);
  FReceived = 0;
}

void DetailTracker::Record(std::int32_t number) {
  if (number < 1 || number > static_cast<std::int32_t>(FSeen.size())) return;
  const auto i = static_cast<std::size_t>(number - 1);
  if (FSeen[i]) return;
  FSeen[i] = true;
  ++FReceived;
}

std::string DetailTracker::MissingRanges() const {
  std::string out;
  const int n = static_cast<int>(FSeen.size());
  for (int i = 0; i < n;) {
    if (FSeen[static_cast<std::size_t>(i)]) {
      ++i;
      continue;
    }
    int j = i;
    while (j + 1 < n && !FSeen[static_cast<std::size_t>(j + 1)]) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(i + 1);
    if (j > i) out += '-' + std::to_string(j + 1);
    i = j + 1;
  }
  return out;
}

}  // namespace zp::sim
