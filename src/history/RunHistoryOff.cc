// The run history of a build without a store (ZP_HISTORY=OFF, e.g. where SQLite is not
// available yet): every call says so, and the front ends tell the operator.
#include "history/RunHistory.h"

#include "platform/StateFolder.h"

namespace zp {

class HistoryDb {};

bool RunHistory::Available() { return false; }
const char* RunHistory::UnavailableText() { return "history is not available in this build"; }
std::string RunHistory::DefaultPath() { return StateFile("history.db"); }

RunHistory::RunHistory(std::string path, int limit) : FPath(std::move(path)), FLimit(limit) {}
RunHistory::~RunHistory() = default;

bool RunHistory::Open(Access) { return Fail(UnavailableText()); }
bool RunHistory::Fail(const std::string& what) {
  FLastError = what;
  return false;
}

bool RunHistory::Record(HistoryRun&) { return Open(Access::Write); }
bool RunHistory::EachRun(const HistoryQuery&, const std::function<bool(const HistoryRun&)>&) {
  return Open(Access::Read);
}
std::optional<std::vector<HistoryRun>> RunHistory::Runs(const HistoryQuery&) {
  Open(Access::Read);
  return std::nullopt;
}
std::optional<long long> RunHistory::Count(const HistoryQuery&) {
  Open(Access::Read);
  return std::nullopt;
}
bool RunHistory::EachRouteRun(const std::string&, long long,
                              const std::function<bool(const HistoryRun&, const HistoryRoute&)>&) {
  return Open(Access::Read);
}
std::optional<std::vector<HistoryRun>> RunHistory::Recent(int) {
  Open(Access::Read);
  return std::nullopt;
}
std::optional<HistoryRun> RunHistory::LastWith(const RunSettings&, long long) {
  Open(Access::Read);
  return std::nullopt;
}
std::optional<PreviousScores> RunHistory::PreviousScoresOf(const RunSettings&, const std::vector<std::string>&) {
  Open(Access::Read);
  return std::nullopt;
}
std::optional<long long> RunHistory::Count() {
  Open(Access::Read);
  return std::nullopt;
}
std::optional<long long> RunHistory::Prune(long long) {
  Open(Access::Write);
  return std::nullopt;
}

}  // namespace zp
