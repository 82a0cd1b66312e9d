#include "cli/HistoryCommands.h"

#include <algorithm>
#include <chrono>
#include <nlohmann/json.hpp>

#include "cli/HistoryCsv.h"
#include "platform/AtomicFile.h"
#include "platform/StopRequests.h"
#include "history/RunHistory.h"
#include "run/TraceLine.h"
#include "framework/Format.h"

namespace zp {

namespace {

std::string Dump(const nlohmann::json& doc) {
  // Texts from the network may hold any byte: replace what is not UTF-8 rather than fail.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
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

// `text` moved `depth` levels in, as the document around it is indented.
std::string Indented(const std::string& text, int depth) {
  const std::string pad(static_cast<std::size_t>(2 * depth), ' ');
  std::string out = pad;
  for (const char c : text) {
    out += c;
    if (c == '\n') out += pad;
  }
  return out;
}

// The history the options name; the reason on `err` when this build keeps none.
std::unique_ptr<RunHistory> OpenHistory(const ConsoleOptions& options, ConsoleStream& err) {
  if (!RunHistory::Available()) {
    err.Write(std::string(RunHistory::UnavailableText()) + "\n");
    return nullptr;
  }
  auto history = std::make_unique<RunHistory>(HistoryPath(options), options.history_limit);
  // A writer holding the file keeps the listing waiting, but not past a stop request.
  history->SetGiveUp([] { return StopRequested(); });
  return history;
}

std::string NoHistoryYet(const ConsoleOptions& options) {
  return "No history yet: nothing has been recorded in " + EscapeControls(HistoryPath(options)) + ".\n";
}

std::string RunLine(const HistoryRun& run) {
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
  return Format("%s  %-18s  %s  (%s:%X %s, %.2f s)\n", UtcTimeText(run.start_utc_ms).c_str(), run.banner.c_str(),
                routes.c_str(), EscapeControls(run.settings.server).c_str(), static_cast<unsigned>(run.settings.port),
                EscapeControls(run.settings.route_code).c_str(), run.elapsed_seconds);
}

}  // namespace

// Each run is written as it is read, so that a year of runs takes no more memory than a
// few of them; the output stops early when it cannot be written.
int PrintHistory(const ConsoleOptions& options, long long count, ConsoleStream& out, ConsoleStream& err) {
  const auto history = OpenHistory(options, err);
  if (!history) return 3;
  HistoryQuery query;
  query.count = count;
  long long listed = 0;
  bool ok = false;
  // A history that cannot be read gives no document at all; one whose read fails half-way
  // gives what was read, closed, and the status says it is not all.
  if (options.json) {
    ok = history->EachRun(query, [&](const HistoryRun& run) {
      out.Write((listed++ == 0 ? "{\n  \"runs\": [\n" : ",\n") + Indented(Dump(RunJson(run)), 2));
      return !out.Failed();
    });
    if (listed > 0) out.Write("\n  ]\n}\n");
    else if (ok) out.Write("{\n  \"runs\": []\n}\n");
  } else if (options.csv) {
    ok = history->EachRun(query, [&](const HistoryRun& run) {
      out.Write((listed++ == 0 ? HistoryCsvHeader() : std::string()) + HistoryCsvRows(run));
      return !out.Failed();
    });
    if (ok && listed == 0) out.Write(HistoryCsvHeader());
  } else {
    ok = history->EachRun(query, [&](const HistoryRun& run) {
      ++listed;
      out.Write(RunLine(run));
      return !out.Failed();
    });
    if (ok && history->NoFileYet()) out.Write(NoHistoryYet(options));
    else if (ok && listed == 0) out.Write("No runs recorded.\n");
  }
  out.Flush();
  if (ok) return 0;
  err.Write("history: " + history->LastError() + "\n");
  return 3;
}

int PrintRouteTrend(const ConsoleOptions& options, const std::string& route, long long count, ConsoleStream& out,
                    ConsoleStream& err) {
  const auto history = OpenHistory(options, err);
  if (!history) return 3;
  nlohmann::json doc = {{"route", route}, {"runs", nlohmann::json::array()}};
  std::string text;
  int shown = 0;
  const bool ok = history->EachRouteRun(route, count, [&](const HistoryRun& run, const HistoryRoute& r) {
    ++shown;
    nlohmann::json item = RouteJson(r);
    item["id"] = run.id;
    item["start_time"] = UtcTimeText(run.start_utc_ms);
    item["banner"] = run.banner;
    doc["runs"].push_back(item);
    if (r.score)
      text += Format("%s  score %3d  %8.3f s  %-13s  %s  (run %s)\n", UtcTimeText(run.start_utc_ms).c_str(), *r.score,
                     r.profile_seconds, r.outcome.c_str(), EscapeControls(r.reason).c_str(), run.banner.c_str());
    else  // No number to show, nor a time that measured anything.
      text += Format("%s  %s  (run %s)\n", UtcTimeText(run.start_utc_ms).c_str(), EscapeControls(r.OutcomeWords()).c_str(),
                     run.banner.c_str());
    return true;
  });
  if (!ok) {
    err.Write("history: " + history->LastError() + "\n");
    return 3;
  }
  if (options.json) {
    out.Write(Dump(doc) + "\n");
  } else if (history->NoFileYet()) {
    out.Write(NoHistoryYet(options));
  } else if (shown == 0) {
    out.Write("No recorded run has route " + EscapeControls(route) + ".\n");
  } else {
    out.Write("Route " + EscapeControls(route) + ", newest first:\n" + text);
  }
  out.Flush();
  return 0;
}

int PruneHistory(const ConsoleOptions& options, int older_than_days, ConsoleStream& out, ConsoleStream& err) {
  const auto history = OpenHistory(options, err);
  if (!history) return 3;
  const long long now_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  const long long before = now_ms - older_than_days * 24LL * 3600 * 1000;
  const auto pruned = history->Prune(before);
  if (!pruned) {
    err.Write("history: " + history->LastError() + "\n");
    return 3;
  }
  if (history->NoFileYet()) {
    out.Write(NoHistoryYet(options));
    out.Flush();
    return 0;
  }
  out.Write(Format("Removed %lld run%s started before %s from %s.\n", *pruned, *pruned == 1 ? "" : "s",
                   UtcTimeText(before).c_str(), EscapeControls(HistoryPath(options)).c_str()));
  out.Flush();
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
