// zelvan-probe-cli: one test from a terminal or a script, the way the window runs it.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/ProgramArguments.h"
#include "platform/StopRequests.h"
#include "platform/SystemWords.h"
#include "platform/TextfileFallback.h"
#include "cli/ConsoleRunner.h"
#include "cli/ConsoleStream.h"
#include "cli/HistoryCommands.h"
#include "cli/JsonReport.h"
#include "cli/MonitoringReport.h"
#include "cli/OptionChecks.h"
#include "cli/PlainReport.h"
#include "cli/PrometheusReport.h"
#include "cli/TextfilePlace.h"
#include "history/RunHistory.h"
#include "run/ProgramVersion.h"
#include "run/TraceLine.h"
#include "framework/MemTrack.h"

namespace {

// What a run leaves on standard output must have reached it: a full disk or a closed pipe
// is an error of its own, after everything else (the history, the files) was done.
int Ending(int status, zp::ConsoleStream& out, zp::ConsoleStream& err) {
  out.Flush();
  if (out.Failed()) err.Write("cannot write to standard output: " + out.ErrorText() + "\n");
  err.Flush();
  return out.Failed() ? 3 : status;
}

// The arguments in UTF-8, whatever the system's code page; "/?" is how Windows programs
// are asked for their help, and names no file or value of ours on any system.
// The program's name comes first, even from a caller that gave none.
std::vector<std::string> Arguments(int argc, char** argv) {
  std::vector<std::string> args = zp::ProgramArguments(argc, argv);
  if (args.empty()) args.push_back("zelvan-probe-cli");
  std::replace(args.begin() + 1, args.end(), std::string("/?"), std::string("--help"));
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, before any other thread exists: a stop request from now on ends the run
  // in order, with its results.
  zp::CatchStopRequests();
  zp::StartTracking();
  const std::vector<std::string> args = Arguments(argc, argv);
  std::vector<const char*> arg_pointers;
  for (const std::string& a : args) arg_pointers.push_back(a.c_str());
  zp::ConsoleStream out(stdout);
  zp::ConsoleStream err(stderr);
  const zp::SystemWords& words = zp::TheSystemWords();
  zp::ConsoleOptions options;
  CLI::App app{std::string("Zelvan Probe console runner: fetch the route list, profile every route and "
                           "fetch the gateway's public key.\nExit status: 0 SUCCESS, 1 SOME ROUTES FAILED, "
                           "2 FAILURE, 3 usage error, internal error, --timeout or a stop request (") +
               words.stop_requests + ")."};
  app.set_version_flag("--version", std::string("zelvan-probe-cli ") + zp::ProgramVersion());
  auto* server = app.add_option("--server", options.server,
                                "Route server(s): host names or IPv4 addresses separated by commas");
  app.add_option("--port", options.port_text, "Route server port: 1 to FFFF in hexadecimal, as typed in the window")
      ->check(zp::CheckPortOption)
      ->default_str("6900");
  auto* code = app.add_option("--route-code", options.route_code, "Route code letter");
  app.add_option("--selection", options.selection,
                 "0 Internet normal route, 1 Internet other route, 2 WAN other route")
      ->check(CLI::Range(0, 2))
      ->default_str("0");
  app.add_option("--timeout", options.timeout_seconds,
                 "Stop the test after this many seconds of wall-clock time (exit status 3); 0 for no limit. "
                 "Time spent waiting for another program that holds the history or the DNS cache counts against it")
      ->check(zp::CheckTimeoutOption)
      ->default_str("300");
  auto* json = app.add_flag("--json", options.json,
                            "Write one JSON document to standard output; trace lines go to standard error");
  auto* monitoring = app.add_flag("--monitoring", options.monitoring,
                                  "Write the monitoring-plugins format: one status line with perfdata, then for each "
                                  "failed route its reason and what to check next; trace lines are not written")
                         ->excludes(json);
  app.add_option("--warning", options.warning_score,
                 "With --monitoring: WARNING when a route that passed scored N or more (1 to 25; its perfdata "
                 "carries the threshold)")
      ->check(CLI::Range(1, 25))
      ->type_name("N")
      ->needs(monitoring);
  std::string textfile;
  const std::string textfile_fallback = zp::TextfileFallbackFolder();
  auto* textfile_option =
      app.add_option("--prometheus-textfile", textfile,
                     std::string("After the run, write its metrics in the Prometheus text format to this file, "
                                 "replacing it in one step (for ") +
                         words.textfile_collector +
                         "); with any output form. A path where something other than a regular file stands (" +
                         words.not_a_file + "), or in a folder that another user owns or may write to, is refused" +
                         (textfile_fallback.empty() ? std::string()
                                                    : "; when its folder does not exist, the file goes into " +
                                                          textfile_fallback + " if that exists, and the monitoring "
                                                          "lines say so"))
          // Checked before the run rather than found out minutes later.
          ->check(zp::CheckTextfileOption);
  std::vector<std::string> metric_label_texts;
  app.add_option("--metric-label", metric_label_texts,
                 "A label for every series of the Prometheus textfile, e.g. site=berlin, so that one Prometheus "
                 "tells many sites apart; repeatable")
      ->type_name("NAME=VALUE")
      // One label per option, so that a stray word is an error rather than a label.
      ->allow_extra_args(false)
      ->needs(textfile_option);
  app.add_option("--dns-store", options.dns_store, std::string("DNS cache store: ") + words.dns_store);
  // History: every finished run is recorded; these list what was recorded instead of testing.
  std::string history_count;
  auto* history = app.add_option("--history", history_count,
                                 "List the last N recorded runs (1 to " + std::to_string(zp::kMostHistoryShown) +
                                     ", default 20), newest first, instead of testing; with --json as one JSON "
                                     "document")
                      ->expected(0, 1)
                      ->check(zp::CheckHistoryCountOption)
                      ->type_name("[N]")
                      ->excludes("--monitoring");
  std::string history_route;
  auto* route_trend = app.add_option("--history-route", history_route,
                                     "Show the trend of one route (time, score, profiling time, outcome per run) "
                                     "over the last N runs that had it (N from --history, default 20)")
                          ->type_name("NAME")
                          ->excludes("--monitoring");
  app.add_option("--history-db", options.history_db,
                 std::string("History file (default: history.db in ") + words.state_folder +
                     "); a file of another program is refused and left as it is")
      ->check(zp::CheckNonEmpty)
      ->type_name("FILE");
  app.add_option("--history-limit", options.history_limit, "Runs the history keeps; older ones are dropped")
      ->check(CLI::PositiveNumber)
      ->default_str(std::to_string(zp::kDefaultHistoryLimit));
  app.add_flag("--no-history", options.no_history, "Do not record this run in the history");
  std::string max_age;
  app.add_option("--history-max-age", max_age,
                 "When the run is recorded, drop the runs started more than DAYS days before it")
      ->check(zp::CheckDaysOption)
      ->type_name("DAYS");
  app.add_flag("--csv", options.csv,
               "With --history: one row per run and route, comma-separated, for a spreadsheet")
      ->needs(history)
      ->excludes(json);
  std::string older_than;
  auto* older = app.add_option("--older-than", older_than, "With --history-prune: the age of the runs dropped")
                    ->check(zp::CheckDaysOption)
                    ->type_name("DAYS");
  bool prune_asked = false;
  auto* prune = app.add_flag("--history-prune", prune_asked,
                             "Drop the recorded runs older than --older-than DAYS, instead of testing")
                    ->needs(older)
                    ->excludes(history)
                    ->excludes(route_trend)
                    ->excludes(monitoring);
  older->needs(prune);
  auto* report = app.add_option("--report", options.report_file,
                                "After the test, write a self-contained HTML report for support to this file "
                                "(exit status 3 when it cannot be written), or with - to standard output (the "
                                "trace and results then go to standard error)")
                     ->check(zp::CheckReportOption)
                     ->type_name("FILE.html");
  // A build without a store lists none of the history's options, and refuses them when given.
  if (!zp::RunHistory::Available()) {
    for (const char* name : {"--history", "--history-route", "--history-db", "--history-limit", "--no-history",
                             "--history-max-age", "--csv", "--history-prune", "--older-than"})
      app.get_option(name)->group("")->check([](const std::string&) { return std::string(zp::RunHistory::UnavailableText()); });
  }
  // A monitoring system reads only standard output and the exit status: asked for, the
  // status line is written for a command line that does not parse too.
  const bool monitoring_asked = std::find(args.begin() + 1, args.end(), "--monitoring") != args.end();
  zp::MetricLabels metric_labels;
  try {
    app.parse(static_cast<int>(arg_pointers.size()), arg_pointers.data());
    // Refused before the run, like every other usage error.
    const std::string label_error = zp::ParseMetricLabels(metric_label_texts, metric_labels);
    if (!label_error.empty()) throw CLI::ValidationError("--metric-label", label_error);
    if (options.ReportToStandardOutput() && (json->count() > 0 || monitoring->count() > 0))
      throw CLI::ValidationError(report->get_name(), "\"-\" is standard output, which " +
                                                         std::string(options.json ? "--json" : "--monitoring") +
                                                         " writes to already");
  } catch (const CLI::ParseError& e) {
    if (monitoring_asked && e.get_exit_code() != 0) {
      out.Write(zp::MonitoringUsageError(std::string("usage error: ") + e.what()));
      return Ending(3, out, err);
    }
    // The help and the error as CLI11 words them, written as every other text is: a help
    // or a version that could not be written is an error too.
    std::ostringstream help, error;
    const int rc = app.exit(e, help, error);
    out.Write(help.str());
    err.Write(error.str());
    return Ending(rc == 0 ? 0 : 3, out, err);
  }
  options.server_given = server->count() > 0;
  options.route_code_given = code->count() > 0;
  const bool listing = history->count() > 0 || route_trend->count() > 0;

  if (!max_age.empty()) options.history_max_age_days = std::stoi(max_age);
  // Where the stores would be kept, before anything is read, tested or written.
  if (const std::string problem = zp::StorePlacesProblem(options, listing || prune_asked); !problem.empty()) {
    if (options.monitoring) out.Write(zp::MonitoringUsageError(problem));
    err.Write(zp::EscapeControls(problem) + "\n");
    return Ending(3, out, err);
  }

  if (prune_asked) return Ending(zp::PruneHistory(options, std::stoi(older_than), out, err), out, err);
  if (listing) {
    const int count = history_count.empty() ? zp::kDefaultHistoryShown : zp::ParseHistoryCount(history_count);
    return Ending(route_trend->count() > 0 ? zp::PrintRouteTrend(options, history_route, count, out, err)
                                           : zp::PrintHistory(options, count, out, err),
                  out, err);
  }

  // Standard output carries one thing: the report when it goes there, the JSON document,
  // the monitoring lines, or the trace and results.
  const bool results_to_err = options.json || options.ReportToStandardOutput();
  zp::ConsoleOutcome outcome;
  try {
    zp::ConsoleStream* trace = options.monitoring ? nullptr : results_to_err ? &err : &out;
    outcome = zp::RunConsoleTest(options, trace);
    if (!outcome.refusal.empty()) {
      if (options.monitoring) out.Write(zp::MonitoringUsageError("usage error: " + outcome.refusal));
      err.Write(outcome.refusal + "\n");
      return Ending(3, out, err);
    }
  } catch (const std::exception& e) {
    if (options.monitoring) out.Write(zp::MonitoringUsageError(std::string("internal error: ") + e.what()));
    err.Write(std::string("internal error: ") + e.what() + "\n");
    return Ending(3, out, err);
  }
  if (outcome.Stopped() && !options.monitoring) err.Write(zp::StoppedLine(options, outcome) + "\n");

  // Written before the report, so that a program reading the report may read the file.
  // The place is chosen again: the folder asked for may have come or gone during the run.
  if (!textfile.empty()) {
    const zp::TextfilePlace place = zp::ChooseTextfile(textfile, textfile_fallback);
    std::string error = place.problem;
    const std::string metrics = zp::PrometheusReport(outcome, std::chrono::system_clock::now(), metric_labels);
    if (!place.path.empty() && zp::WriteFileAtomically(place.path, metrics, error)) {
      if (!place.note.empty()) outcome.notes.push_back(place.note);
    } else {
      outcome.notes.push_back("cannot write the Prometheus textfile: " + error);
    }
    for (const std::string& note : outcome.notes) err.Write(zp::EscapeControls(note) + "\n");
  }

  const bool report_written = zp::ReportRun(options, outcome, out, err);

  if (options.monitoring) {
    out.Write(zp::MonitoringReport(outcome, options.warning_score));
  } else if (options.json) {
    out.Write(zp::JsonReport(outcome));
  } else {
    (results_to_err ? err : out).Write(zp::PlainReport(outcome));
  }
  const int result_status =
      options.monitoring ? zp::MonitoringStatus(outcome, options.warning_score) : zp::ExitStatus(outcome);
  const int status = Ending(report_written ? result_status : 3, out, err);
  if (outcome.abandoned) {
    // Its worker never ended after the stop: leave without waiting for it.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
  }
  zp::StopTracking();
  zp::StopRequestDone();
  return status;
}
