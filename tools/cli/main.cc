// zelvan-probe-cli: one test from a terminal or a script, the way the window runs it.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/ConsoleOutput.h"
#include "cli/ConsoleRunner.h"
#include "cli/HistoryCommands.h"
#include "cli/JsonReport.h"
#include "cli/MonitoringReport.h"
#include "cli/PlainReport.h"
#include "cli/PrometheusReport.h"
#include "run/ConnectionChoice.h"
#include "run/ProgramVersion.h"
#include "history/RunHistory.h"
#include "run/TraceLine.h"
#include "framework/MemTrack.h"

int main(int argc, char** argv) {
  zp::StartTracking();
  zp::UseUtf8Console();
  zp::ConsoleOptions options;
  CLI::App app{"Zelvan Probe console runner: fetch the route list, profile every route and "
               "fetch the gateway's public key.\nExit status: 0 SUCCESS, 1 SOME ROUTES FAILED, "
               "2 FAILURE, 3 usage error, internal error or --timeout."};
  app.set_version_flag("--version", std::string("zelvan-probe-cli ") + zp::ProgramVersion());
  auto* server = app.add_option("--server", options.server,
                                "Route server(s): host names or IPv4 addresses separated by commas");
  app.add_option("--port", options.port_text,
                 "Route server port in hexadecimal, as typed in the window (empty or not "
                 "hexadecimal gives 0)")
      ->default_str("6900");
  auto* code = app.add_option("--route-code", options.route_code, "Route code letter");
  app.add_option("--selection", options.selection,
                 "0 Internet normal route, 1 Internet other route, 2 WAN other route")
      ->check(CLI::Range(0, 2))
      ->default_str("0");
  app.add_option("--timeout", options.timeout_seconds,
                 "Stop the test after this many seconds of wall-clock time (exit status 3); 0 for no limit")
      ->check(CLI::NonNegativeNumber)
      ->default_str("300");
  auto* json = app.add_flag("--json", options.json,
                            "Write one JSON document to standard output; trace lines go to standard error");
  app.add_flag("--monitoring", options.monitoring,
               "Write the monitoring-plugins format: one status line with perfdata, then one line per "
               "route; trace lines are not written")
      ->excludes(json);
  std::string textfile;
  auto* textfile_option =
      app.add_option("--prometheus-textfile", textfile,
                     "After the run, write its metrics in the Prometheus text format to this file, replacing it "
                     "in one step (for node_exporter's textfile collector); with any output form")
      // Checked before the run rather than found out minutes later.
      ->check([](const std::string& path) -> std::string {
        std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (folder.empty()) folder = ".";
        std::error_code ec;
        if (std::filesystem::path(path).filename().empty()) return "not a file name: " + path;
        return std::filesystem::is_directory(folder, ec) ? std::string() : "no such folder: " + folder.string();
      });
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
  app.add_option("--history-db", options.history_db, "History file (default: history.db in the user's state folder)")
      ->type_name("FILE");
  app.add_option("--history-limit", options.history_limit, "Runs the history keeps; older ones are dropped")
      ->check(CLI::PositiveNumber)
      ->default_str("5000");
  app.add_flag("--no-history", options.no_history, "Do not record this run in the history");
  app.add_option("--report", options.report_file,
                 "After the test, write a self-contained HTML report for support to this file "
                 "(exit status 3 when it cannot be written)")
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

  if (history->count() > 0 || route_trend->count() > 0) {
    const int count = history_count.empty() ? zp::kDefaultHistoryShown : std::atoi(history_count.c_str());
    return route_trend->count() > 0 ? zp::PrintRouteTrend(options, history_route, count, stdout, stderr)
                                    : zp::PrintHistory(options, count, stdout, stderr);
  }

  zp::ConsoleOutcome out;
  try {
    std::FILE* trace = options.monitoring ? nullptr : options.json ? stderr : stdout;
    out = zp::RunConsoleTest(options, trace);
    if (!out.refusal.empty()) {
      if (options.monitoring) std::fputs(zp::MonitoringUsageError("usage error: " + out.refusal).c_str(), stdout);
      std::fprintf(stderr, "%s\n", out.refusal.c_str());
      return 3;
    }
  } catch (const std::exception& e) {
    if (options.monitoring) std::fputs(zp::MonitoringUsageError(std::string("internal error: ") + e.what()).c_str(), stdout);
    std::fprintf(stderr, "internal error: %s\n", e.what());
    return 3;
  }
  if (out.TimedOut() && !options.monitoring)
    std::fprintf(stderr, "Timed out after %g s in state %s, %s\n", options.timeout_seconds, out.end_state.c_str(),
                 zp::StoppedWhere(out).c_str());

  // Written before the report, so that a program reading the report may read the file.
  if (!textfile.empty()) {
    std::string error;
    const std::string metrics = zp::PrometheusReport(out, std::chrono::system_clock::now(), metric_labels);
    if (!zp::WriteFileAtomically(textfile, metrics, error))
      std::fprintf(stderr, "cannot write the Prometheus textfile: %s\n", error.c_str());
  }

  const bool report_written = zp::ReportRun(options, out, stderr);

  if (options.monitoring) {
    std::fputs(zp::MonitoringReport(out).c_str(), stdout);
  } else if (options.json) {
    std::fputs(zp::JsonReport(out).c_str(), stdout);
  } else {
    std::fputs(zp::PlainReport(out).c_str(), stdout);
  }
  if (out.abandoned) {
    // Its worker never ended after the stop: leave without waiting for it.
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(report_written ? zp::ExitStatus(out) : 3);
  }
  zp::StopTracking();
  return report_written ? zp::ExitStatus(out) : 3;
}
