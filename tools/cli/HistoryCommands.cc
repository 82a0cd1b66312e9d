#include "cli/HistoryCommands.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/AtomicFile.h"
#include "platform/StopRequests.h"
#include "history/RunHistory.h"
#include "run/TraceLine.h"
#include "framework/Format.h"

namespace zp {

namespace {

std::string Dump(const nlohmann::json& doc) {
  // Texts from the network may hold any byte: replace what is not UTF-8 rather than fail.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

nlohmann::json RouteJson(const HistoryRoute& r) {
  return {{"route", r.entry},       {"name", r.name},
          {"score", r.score ? nlohmann::json(*r.score) : nlohmann::json(nullptr)},
          {"failed", r.failed},
          {"profile_seconds", r.profile_seconds}, {"outcome", r.outcome}, {"reason", r.reason}};
}

nlohmann::json RunJson(const HistoryRun& run) {
  nlohmann::json doc = {{"id", run.id},
                        {"start_time", UtcTimeText(run.start_utc_ms)},
                        {"server", run.settings.server},
                        {"port", run.settings.port},
                        {"route_code", run.settings.route_code},
                        {"result_code", run.result_code},
                        {"banner", run.banner},
                        {"stopped", run.stopped},
                        {"elapsed_seconds", run.elapsed_seconds},
                        {"key_outcome", run.key_outcome},
                        {"version", run.version},
                        {"failed_routes", run.FailedRoutes()},
                        {"routes", nlohmann::json::array()},
                        {"servers", nlohmann::json::array()}};
  for (const HistoryRoute& r : run.routes) doc["routes"].push_back(RouteJson(r));
  for (const HistoryServer& s : run.servers)
    doc["servers"].push_back({{"server", s.server}, {"address", s.address}, {"port", s.port}, {"outcome", s.outcome}});
  return doc;
}

// The runs, or none with the reason on `err`; `no_file` when there is no history yet.
std::optional<std::vector<HistoryRun>> ReadRuns(const ConsoleOptions& options, int count, ConsoleStream& err,
                                                bool& no_file) {
  no_file = false;
  if (!RunHistory::Available()) {
    err.Write(std::string(RunHistory::UnavailableText()) + "\n");
    return std::nullopt;
  }
  RunHistory history(HistoryPath(options), options.history_limit);
  // A writer holding the file keeps the listing waiting, but not past a stop request.
  history.SetGiveUp([] { return StopRequested(); });
  auto runs = history.Recent(count);
  if (!runs) err.Write("history: " + history.LastError() + "\n");
  no_file = history.NoFileYet();
  return runs;
}

std::string NoHistoryYet(const ConsoleOptions& options) {
  return "No history yet: nothing has been recorded in " + EscapeControls(HistoryPath(options)) + ".\n";
}

}  // namespace

int PrintHistory(const ConsoleOptions& options, int count, ConsoleStream& out, ConsoleStream& err) {
  bool no_file = false;
  const auto runs = ReadRuns(options, count, err, no_file);
  if (!runs) return 3;
  if (options.json) {
    nlohmann::json doc = {{"runs", nlohmann::json::array()}};
    for (const HistoryRun& run : *runs) doc["runs"].push_back(RunJson(run));
    out.Write(Dump(doc));
    return 0;
  }
  if (no_file) out.Write(NoHistoryYet(options));
  else if (runs->empty()) out.Write("No runs recorded.\n");
  for (const HistoryRun& run : *runs) {
    std::string failed;
    for (const std::string& name : run.FailedRoutes()) failed += (failed.empty() ? "" : ", ") + EscapeControls(name);
    // A run without a route list has nothing to count; a stopped one says how many routes
    // it left unscored, so that "0 failed" does not read as a clean run.
    std::string routes =
        run.routes.empty() ? (run.stopped ? "stopped before the route list" : "no route list")
                           : Format("%zu of %zu routes failed%s%s", run.FailedRoutes().size(), run.routes.size(),
                                    failed.empty() ? "" : ": ", failed.c_str());
    const auto unscored =
        std::count_if(run.routes.begin(), run.routes.end(), [](const HistoryRoute& r) { return !r.HasScore(); });
    if (run.stopped && unscored > 0) routes += Format("; stopped, %d not scored", static_cast<int>(unscored));
    out.Write(Format("%s  %-18s  %s  (%s:%X %s, %.2f s)\n", UtcTimeText(run.start_utc_ms).c_str(),
                     run.banner.c_str(), routes.c_str(), EscapeControls(run.settings.server).c_str(),
                     static_cast<unsigned>(run.settings.port), EscapeControls(run.settings.route_code).c_str(),
                     run.elapsed_seconds));
  }
  return 0;
}

int PrintRouteTrend(const ConsoleOptions& options, const std::string& route, int count, ConsoleStream& out,
                    ConsoleStream& err) {
  // Runs without the route are passed over: read the whole bounded history.
  bool no_file = false;
  const auto runs = ReadRuns(options, options.history_limit, err, no_file);
  if (!runs) return 3;
  nlohmann::json doc = {{"route", route}, {"runs", nlohmann::json::array()}};
  std::string text;
  int shown = 0;
  for (const HistoryRun& run : *runs) {
    if (shown >= count) break;
    const HistoryRoute* r = run.FindRoute(route);
    if (r == nullptr) continue;
    ++shown;
    nlohmann::json item = RouteJson(*r);
    item["id"] = run.id;
    item["start_time"] = UtcTimeText(run.start_utc_ms);
    item["banner"] = run.banner;
    doc["runs"].push_back(item);
    if (r->score)
      text += Format("%s  score %3d  %8.3f s  %-13s  %s  (run %s)\n", UtcTimeText(run.start_utc_ms).c_str(), *r->score,
                     r->profile_seconds, r->outcome.c_str(), EscapeControls(r->reason).c_str(), run.banner.c_str());
    else  // No number to show, nor a time that measured anything.
      text += Format("%s  %s  (run %s)\n", UtcTimeText(run.start_utc_ms).c_str(),
                     EscapeControls(r->OutcomeWords()).c_str(), run.banner.c_str());
  }
  if (options.json) {
    out.Write(Dump(doc));
  } else if (no_file) {
    out.Write(NoHistoryYet(options));
  } else if (shown == 0) {
    out.Write("No recorded run has route " + EscapeControls(route) + ".\n");
  } else {
    out.Write("Route " + EscapeControls(route) + ", newest first:\n" + text);
  }
  return 0;
}

bool ReportRun(const ConsoleOptions& options, const ConsoleOutcome& outcome, ConsoleStream& out, ConsoleStream& err) {
  if (outcome.ended && !outcome.ended->record_error.empty())
    err.Write("warning: the run was not recorded in the history: " + EscapeControls(outcome.ended->record_error) +
              "\n");
  if (options.report_file.empty()) return true;
  if (options.ReportToStandardOutput()) {
    out.Write(outcome.report_html);
    return true;
  }
  // Whole or not at all: a half-written page attached to a ticket would mislead.
  std::string error;
  if (!WriteFileAtomically(options.report_file, outcome.report_html, error)) {
    err.Write("cannot write the report: " + EscapeControls(error) + "\n");
    return false;
  }
  return true;
}

}  // namespace zp
