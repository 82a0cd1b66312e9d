#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

namespace zp {

class HistoryDb;
struct HistoryQuery;

// The reads of one open history file, each from one snapshot of it, through the file's
// prepared statements. False (or none) when a step failed: the connection's Message()
// says why.
class HistoryReader {
 public:
  explicit HistoryReader(HistoryDb& db) : FDb(db) {}

  // The runs `query` asks for, newest first, each with its details; `each` returns false
  // to stop.
  bool EachRun(const HistoryQuery& query, const std::function<bool(const HistoryRun&)>& each);
  // How many runs `query` finds, its count and page aside.
  std::optional<long long> Count(const HistoryQuery& query);
  // See RunHistory::EachRouteRun.
  bool EachRouteRun(const std::string& name, long long count,
                    const std::function<bool(const HistoryRun&, const HistoryRoute&)>& each);
  // The newest run with these settings but `except`, with its details, into `found`.
  bool LastWith(const RunSettings& settings, long long except, std::optional<HistoryRun>& found);
  // See RunHistory::PreviousScoresOf.
  std::optional<PreviousScores> PreviousScoresOf(const RunSettings& settings, const std::vector<std::string>& names);

 private:
  HistoryDb& FDb;
};

}  // namespace zp
