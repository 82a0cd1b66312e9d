#include "net/DebugLog.h"

#include <deque>
#include <mutex>

namespace zp {
namespace {

struct Ring {
  std::mutex FLock;
  std::deque<DebugLogLine> FLines;
};

Ring& TheRing() {
  static Ring* ring = new Ring;  // usable from threads still running at exit
  return *ring;
}

}  // namespace

void DebugLog(const std::string& source, const std::string& text) {
  Ring& r = TheRing();
  std::lock_guard lock(r.FLock);
  if (r.FLines.size() == kDebugLogCapacity) r.FLines.pop_front();
  r.FLines.push_back({source, text});
}

std::vector<DebugLogLine> DebugLogLines() {
  Ring& r = TheRing();
  std::lock_guard lock(r.FLock);
  return {r.FLines.begin(), r.FLines.end()};
}

void ClearDebugLog() {
  Ring& r = TheRing();
  std::lock_guard lock(r.FLock);
  r.FLines.clear();
}

}  // namespace zp
