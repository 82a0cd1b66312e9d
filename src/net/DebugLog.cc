#include "net/DebugLog.h"

#include <deque>
#include <mutex>

namespace zp {
namespace {

struct Ring {
  std::mutex mu;
  std::deque<DebugLogLine> lines;
};

Ring& TheRing() {
  static Ring* ring = new Ring;  // usable from threads still running at exit
  return *ring;
}

}  // namespace

void DebugLog(const std::string& source, const std::string& text) {
  Ring& r = TheRing();
  std::lock_guard lock(r.mu);
  if (r.lines.size() == kDebugLogCapacity) r.lines.pop_front();
  r.lines.push_back({source, text});
}

std::vector<DebugLogLine> DebugLogLines() {
  Ring& r = TheRing();
  std::lock_guard lock(r.mu);
  return {r.lines.begin(), r.lines.end()};
}

void ClearDebugLog() {
  Ring& r = TheRing();
  std::lock_guard lock(r.mu);
  r.lines.clear();
}

}  // namespace zp
