#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run/RunRecord.h"

namespace zp {

// A finished run as the history keeps it: what an operator later asks about ("since
// when?", "which route got worse?"), in plain values that need no worker to read.
struct HistoryRoute {
  std::string entry;  // as the route server sent it
  std::string name;
  // None for a route the run never reached or a stop cut short (see RouteResult::HasScore).
  std::optional<std::int32_t> score;
  bool failed = false;
  double profile_seconds = 0;
  std::string outcome;  // RouteOutcomeName
  std::string reason;   // RouteReason, as it read when the run ended

  bool HasScore() const { return score.has_value(); }
  // Where a score stands: the reason, after "not scored — " for a route without one.
  std::string OutcomeWords() const;
};

// Whether a route with `outcome` (RouteOutcomeName) has a score: rows recorded before the
// history kept no score for such routes carry one that means nothing.
bool ScoredOutcome(const std::string& outcome);

struct HistoryServer {
  std::string server;
  std::string address;
  std::int32_t port = 0;
  std::string outcome;  // ServerOutcomeName
};

struct HistoryRun {
  long long id = 0;               // the store's number; 0 before it is recorded
  long long start_utc_ms = 0;     // Unix time of the start, milliseconds
  RunSettings settings;
  std::int32_t result_code = 0;
  std::string banner;             // SUCCESS, SOME ROUTES FAILED, FAILURE or STOPPED
  bool stopped = false;
  double elapsed_seconds = 0;
  std::string key_outcome;        // KeyOutcomeName
  std::string version;            // the program that ran it
  std::vector<HistoryRoute> routes;
  std::vector<HistoryServer> servers;

  const HistoryRoute* FindRoute(const std::string& name) const;
  std::vector<std::string> FailedRoutes() const;
};

// The history's account of a run that has ended.
HistoryRun HistoryRunFrom(const RunSnapshot& run, const std::string& version);

// For each route name, the newest earlier record of it with a score, in a run with the
// same settings: what its change is told against. A route missing here was never scored
// with these settings.
using PreviousScores = std::map<std::string, HistoryRoute>;
// The same from runs already read, oldest first (all with the same settings).
PreviousScores PreviousScoresIn(const std::vector<HistoryRun>& runs);

// How a route did against its previous score with the same settings.
enum class RouteChange { New, Better, Worse, Same };
const char* RouteChangeName(RouteChange change);  // "new", "better", "worse", "same"
// A route that now fails where it passed is worse whatever the scores say, and the other
// way round; otherwise the lower score (fewer records missing) is better.
RouteChange CompareRoute(const HistoryRoute* previous, bool failed, std::int32_t score);
// The change as every front end and the report say it: "better (was 3)", "worse (was 0)",
// "same", "new"; "—" when this run has no score for the route, or when no history is
// kept or read (`previous` none).
std::string ChangeWords(const std::optional<PreviousScores>& previous, const RouteResult& route);

// "2026-12-08T04:50:12Z"
std::string UtcTimeText(long long utc_ms);

bool SameSettings(const RunSettings& a, const RunSettings& b);

}  // namespace zp
