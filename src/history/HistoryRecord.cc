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

bool HistoryRoute::HasScore() const {
  return outcome != RouteOutcomeName(RouteOutcome::NotTried) && outcome != RouteOutcomeName(RouteOutcome::Stopped);
}

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
    h.routes.push_back({r.entry, r.name, r.score, r.failed, r.profile_seconds, RouteOutcomeName(r.outcome),
                        RouteReason(r, run.stopped)});
  for (const ServerResult& s : run.servers)
    h.servers.push_back({s.server, s.address, s.port, ServerOutcomeName(s.outcome)});
  return h;
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
  if (previous == nullptr) return RouteChange::New;
  if (failed != previous->failed) return failed ? RouteChange::Worse : RouteChange::Better;
  if (score == previous->score) return RouteChange::Same;
  return score < previous->score ? RouteChange::Better : RouteChange::Worse;
}

std::string ChangeWords(const HistoryRoute* previous, const RouteResult& route) {
  if (!route.HasScore() || (previous != nullptr && !previous->HasScore())) return "\u2014";
  const RouteChange change = CompareRoute(previous, route.failed, route.score);
  std::string words = RouteChangeName(change);
  if (change == RouteChange::Better || change == RouteChange::Worse) words += " (was " + std::to_string(previous->score) + ")";
  return words;
}

std::string UtcTimeText(long long utc_ms) {
  return FormatIso8601Utc(static_cast<std::time_t>(utc_ms / 1000));
}

bool SameSettings(const RunSettings& a, const RunSettings& b) {
  return a.server == b.server && a.port == b.port && a.route_code == b.route_code;
}

}  // namespace zp
