// zelvan-probe-cli: one test from a terminal or a script, the way the window runs it.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/ConsoleOutput.h"
#include "platform/StopRequests.h"
#include "cli/ConsoleRunner.h"
#include "cli/ConsoleStream.h"
#include "cli/HistoryCommands.h"
#include "cli/JsonReport.h"
#include "cli/MonitoringReport.h"
#include "cli/OptionChecks.h"
#include "cli/PlainReport.h"
#include "cli/PrometheusReport.h"
#include "history/RunHistory.h"
#include "run/ProgramVersion.h"
#include "run/TraceLine.h"
#include "framework/MemTrack.h"

namespace {

// What a run leaves on standard output must have reached it: a full disk or a closed pipe
// is an error of its own, after everything else (the history, the files) was done.
int Ending(int status, const zp::ConsoleStream& out) {
  if (!out.Failed()) return status;
  std::fprintf(stderr, "cannot write to standard output: %s\n", out.ErrorText().c_str());
  return 3;
}

}  // namespace

int main(int argc, char** argv) {
  // First of all, before any other thread exists: a stop request from now on ends the run
  // in order, with its results.
  zp::CatchStopRequests();
  zp::StartTracking();
  zp::UseUtf8Console();
  zp::ConsoleOptions options;
  CLI::App app{"Zelvan Probe console runner: fetch the route list, profile every route and "
               "fetch the gateway's public key.\nExit status: 0 SUCCESS, 1 SOME ROUTES FAILED, "
               "2 FAILURE, 3 usage error, internal error, --timeout or a stop signal (SIGTERM, SIGINT, SIGHUP)."};
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
                 "Stop the test after this many seconds of wall-clock time (exit status 3); 0 for no limit. Waits "
                 "for the history count against it")
      ->check(zp::CheckTimeoutOption)
      ->default_str("300");
  auto* json = app.add_flag("--json", options.json,
                            "Write one JSON document to standard output; trace lines go to standard error");
  auto* monitoring = app.add_flag("--monitoring", options.monitoring,
                                  "Write the monitoring-plugins format: one status line with perfdata, then one line "
                                  "per failed route; trace lines are not written")
                         ->excludes(json);
  std::string textfile;
  auto* textfile_option =
      app.add_option("--prometheus-textfile", textfile,
                     "After the run, write its metrics in the Prometheus text format to this file, replacing it "
                     "in one step (for node_exporter's textfile collector); with any output form. A path where "
                     "something other than a regular file stands (a symbolic link, a device) is refused")
          // Checked before the run rather than found out minutes later.
          ->check(zp::CheckOutputFile);
  std::vector<std::string> metric_label_texts;
  app.add_option("--metric-label", metric_label_texts,
                 "A label for every series of the Prometheus textfile, e.g. site=berlin, so that one Prometheus "
                 "tells many sites apart; repeatable")
      ->type_name("NAME=VALUE")
      // One label per option, so that a stray word is an error rather than a label.
      ->allow_extra_args(false)
      ->needs(textfile_option);
  app.add_option("--dns-store", options.dns_store, "DNS cache store: a file (default: in the user's state folder), or on Windows a "
                 "registry key path read from the user's hive and then the machine's (default: their roots)");
  // History: every finished run is recorded; these list what was recorded instead of testing.
  std::string history_count;
  auto* history = app.add_option("--history", history_count,
                                 "List the last N recorded runs (default 20), newest first, instead of testing; "
                                 "with --json as one JSON document")
                      ->expected(0, 1)
                      ->check(CLI::PositiveNumber)
                      ->type_name("[N]")
                      ->excludes("--monitoring");
  std::string history_route;
  auto* route_trend = app.add_option("--history-route", history_route,
                                     "Show the trend of one route (time, score, profiling time, outcome per run) "
                                     "over the last N runs that had it (N from --history, default 20)")
                          ->type_name("NAME")
                          ->excludes("--monitoring");
  app.add_option("--history-db", options.history_db,
                 "History file (default: history.db in the user's state folder); a file of another program is "
                 "refused and left as it is")
      ->check(zp::CheckNonEmpty)
      ->type_name("FILE");
  app.add_option("--history-limit", options.history_limit, "Runs the history keeps; older ones are dropped")
      ->check(CLI::PositiveNumber)
      ->default_str("5000");
  app.add_flag("--no-history", options.no_history, "Do not record this run in the history");
  auto* report = app.add_option("--report", options.report_file,
                                "After the test, write a self-contained HTML report for support to this file "
                                "(exit status 3 when it cannot be written), or with - to standard output (the "
                                "trace and results then go to standard error)")
                     ->check(zp::CheckReportOption)
                     ->type_name("FILE.html");
  // A build without a store lists none of the history's options, and refuses them when given.
  if (!zp::RunHistory::Available()) {
    for (const char* name : {"--history", "--history-route", "--history-db", "--history-limit", "--no-history"})
      app.get_option(name)->group("")->check([](const std::string&) { return std::string(zp::RunHistory::UnavailableText()); });
  }
  // A monitoring system reads only standard output and the exit status: asked for, the
  // status line is written for a command line that does not parse too.
  const bool monitoring_asked = std::any_of(argv + 1, argv + argc, [](const char* a) {
    return std::strcmp(a, "--monitoring") == 0;
  });
  zp::MetricLabels metric_labels;
  try {
    app.parse(argc, argv);
    // Refused before the run, like every other usage error.
    const std::string label_error = zp::ParseMetricLabels(metric_label_texts, metric_labels);
    if (!label_error.empty()) throw CLI::ValidationError("--metric-label", label_error);
    if (options.ReportToStandardOutput() && (json->count() > 0 || monitoring->count() > 0))
      throw CLI::ValidationError(report->get_name(), "\"-\" is standard output, which " +
                                                         std::string(options.json ? "--json" : "--monitoring") +
                                                         " writes to already");
  } catch (const CLI::ParseError& e) {
    if (monitoring_asked && e.get_exit_code() != 0) {
      std::fputs(zp::MonitoringUsageError(std::string("usage error: ") + e.what()).c_str(), stdout);
      return 3;
    }
    const int rc = app.exit(e);
    return rc == 0 ? 0 : 3;
  }
  options.server_given = server->count() > 0;
  options.route_code_given = code->count() > 0;
  zp::ConsoleStream out(stdout);

  if (history->count() > 0 || route_trend->count() > 0) {
    const int count = history_count.empty() ? zp::kDefaultHistoryShown : std::atoi(history_count.c_str());
    return Ending(route_trend->count() > 0 ? zp::PrintRouteTrend(options, history_route, count, out, stderr)
                                           : zp::PrintHistory(options, count, out, stderr),
                  out);
  }

  // Standard output carries one thing: the report when it goes there, the JSON document,
  // the monitoring lines, or the trace and results.
  zp::ConsoleStream err(stderr);
  const bool results_to_err = options.json || options.ReportToStandardOutput();
  zp::ConsoleOutcome outcome;
  try {
    zp::ConsoleStream* trace = options.monitoring ? nullptr : results_to_err ? &err : &out;
    outcome = zp::RunConsoleTest(options, trace);
    if (!outcome.refusal.empty()) {
      if (options.monitoring) out.Write(zp::MonitoringUsageError("usage error: " + outcome.refusal));
      std::fprintf(stderr, "%s\n", outcome.refusal.c_str());
      return Ending(3, out);
    }
  } catch (const std::exception& e) {
    if (options.monitoring) out.Write(zp::MonitoringUsageError(std::string("internal error: ") + e.what()));
    std::fprintf(stderr, "internal error: %s\n", e.what());
    return Ending(3, out);
  }
  if (outcome.Stopped() && !options.monitoring) std::fprintf(stderr, "%s\n", zp::StoppedLine(options, outcome).c_str());

  // Written before the report, so that a program reading the report may read the file.
  if (!textfile.empty()) {
    std::string error;
    const std::string metrics = zp::PrometheusReport(outcome, std::chrono::system_clock::now(), metric_labels);
    if (!zp::WriteFileAtomically(textfile, metrics, error))
      std::fprintf(stderr, "cannot write the Prometheus textfile: %s\n", zp::EscapeControls(error).c_str());
  }

  const bool report_written = zp::ReportRun(options, outcome, out, stderr);

  if (options.monitoring) {
    out.Write(zp::MonitoringReport(outcome));
  } else if (options.json) {
    out.Write(zp::JsonReport(outcome));
  } else {
    (results_to_err ? err : out).Write(zp::PlainReport(outcome));
  }
  const int result_status = options.monitoring ? zp::MonitoringStatus(outcome) : zp::ExitStatus(outcome);
  const int status = Ending(report_written ? result_status : 3, out);
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
