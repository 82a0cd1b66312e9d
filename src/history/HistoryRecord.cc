#include "history/HistoryRecord.h"

#include <chrono>
#include <ctime>

#include "run/RunWords.h"
#include "platform/LocalTime.h"

namespace zp {

const HistoryRoute* HistoryRun::FindRoute(const std::string& name) const {
  for (const HistoryRoute& r : routes)
    if (r.name == name) return &r;
  return nullptr;
}

bool ScoredOutcome(const std::string& outcome) {
  return outcome != RouteOutcomeName(RouteOutcome::NotTried) && outcome != RouteOutcomeName(RouteOutcome::Stopped);
}

std::string HistoryRoute::OutcomeWords() const { return HasScore() ? reason : NotScoredWords(reason); }

std::vector<std::string> HistoryRun::FailedRoutes() const {
  std::vector<std::string> names;
  for (const HistoryRoute& r : routes)
    if (r.failed) names.push_back(r.name.empty() ? r.entry : r.name);
  return names;
}

HistoryRun HistoryRunFrom(const RunSnapshot& run, const std::string& version) {
  HistoryRun h;
  h.start_utc_ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(run.start_time.time_since_epoch()).count();
  h.settings = run.settings;
  h.result_code = run.result_code;
  h.banner = RunBannerWord(run);
  h.stopped = run.stopped;
  h.elapsed_seconds = run.elapsed_seconds;
  h.key_outcome = KeyOutcomeName(run.key.outcome);
  h.version = version;
  for (const RouteResult& r : run.routes)
    h.routes.push_back({r.entry, r.name, r.HasScore() ? std::optional(r.score) : std::nullopt, r.failed,
                        r.profile_seconds, RouteOutcomeName(r.outcome), RouteReason(r, run.stopped)});
  for (const ServerResult& s : run.servers)
    h.servers.push_back({s.server, s.address, s.port, ServerOutcomeName(s.outcome)});
  return h;
}

PreviousScores PreviousScoresIn(const std::vector<HistoryRun>& runs) {
  PreviousScores found;
  for (const HistoryRun& run : runs)
    for (const HistoryRoute& route : run.routes)
      if (route.HasScore()) found.insert_or_assign(route.name, route);
  return found;
}

const char* RouteChangeName(RouteChange change) {
  switch (change) {
    case RouteChange::New: return "new";
    case RouteChange::Better: return "better";
    case RouteChange::Worse: return "worse";
    case RouteChange::Same: return "same";
  }
  return "";
}

RouteChange CompareRoute(const HistoryRoute* previous, bool failed, std::int32_t score) {
  if (previous == nullptr || !previous->score) return RouteChange::New;
  if (failed != previous->failed) return failed ? RouteChange::Worse : RouteChange::Better;
  if (score == *previous->score) return RouteChange::Same;
  return score < *previous->score ? RouteChange::Better : RouteChange::Worse;
}

std::string ChangeWords(const std::optional<PreviousScores>& previous, const RouteResult& route) {
  if (!previous || !route.HasScore()) return "\u2014";
  const auto found = previous->find(route.name);
  const HistoryRoute* before = found == previous->end() ? nullptr : &found->second;
  const RouteChange change = CompareRoute(before, route.failed, route.score);
  std::string words = RouteChangeName(change);
  if (change == RouteChange::Better || change == RouteChange::Worse) words += " (was " + std::to_string(*before->score) + ")";
  return words;
}

std::string UtcTimeText(long long utc_ms) {
  return FormatIso8601Utc(static_cast<std::time_t>(utc_ms / 1000));
}

bool SameSettings(const RunSettings& a, const RunSettings& b) {
  return a.server == b.server && a.port == b.port && a.route_code == b.route_code;
}

}  // namespace zp
