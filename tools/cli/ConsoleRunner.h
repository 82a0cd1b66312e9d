#pragma once
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/ConsoleStream.h"
#include "history/RunHistory.h"
#include "run/RunRecord.h"
#include "session/SessionView.h"
#include "session/TestRequest.h"

namespace zp {

// Five minutes: a healthy test takes seconds, and the slowest failing one (no route list
// twice, 40 s per silent route server and 20 s between the rounds, then profiles of at
// most 15 s per route) ends well inside it; an unattended run must end, whatever a peer
// does.
inline constexpr double kDefaultTimeoutSeconds = 300;

// One test run from a terminal, the way the window runs it: settings as the window's
// three ways of connecting fill them, trace lines as the window's list shows them,
// then the banner and the result lines.
struct ConsoleOptions {
  int selection = 0;          // 0 Internet normal route, 1 Internet other route, 2 WAN
  std::string server;         // empty: the selection's default
  bool server_given = false;
  std::string port_text = "6900";
  std::string route_code;     // as typed into the route-code box
  bool route_code_given = false;
  double timeout_seconds = kDefaultTimeoutSeconds;  // 0: none
  bool json = false;
  bool monitoring = false;
  int warning_score = 0;      // --warning: a passed route's score that makes it WARNING; 0: none
  std::string dns_store;      // empty: the default store
  std::string history_db;     // empty: the user's history
  int history_limit = kDefaultHistoryLimit;  // runs the history keeps
  int history_max_age_days = 0;              // runs older than this are dropped; 0: none
  bool no_history = false;    // do not record this run
  bool csv = false;           // the history listed as comma-separated values
  std::string report_file;    // write the HTML report here, "-" for standard output; empty: none

  // The report goes to standard output, and the trace and results to standard error.
  bool ReportToStandardOutput() const { return report_file == "-"; }
};

// The history file the options name, or the default one.
std::string HistoryPath(const ConsoleOptions& options);

// Why the stores the command would use (the history, when it is listed or kept; the DNS
// cache, when a test runs) may not be used: no state folder for a default one, or a
// folder another user may change. Empty when they may.
std::string StorePlacesProblem(const ConsoleOptions& options, bool listing);

// What stopped a run that its time-out stopped, in ConsoleOutcome::stopped_by.
inline constexpr const char kByTimeOut[] = "the time-out";

// What every console report is made from: the run's record once its worker has ended.
struct ConsoleOutcome {
  RunSnapshot run;
  // The worker's state when the run ended; for a stopped run, the state the stop found
  // it in (the worker passes through others on its way out).
  std::string end_state;
  // What stopped the run: kByTimeOut, or the stop request's name ("SIGTERM").
  std::string stopped_by;
  // Where the run was when it was stopped: the phase and, while profiling, the route
  // (1-based) and how many there were.
  RunPhase stopped_phase = RunPhase::Starting;
  int stopped_route = 0;
  int stopped_route_count = 0;
  // The worker did not end within its grace after the stop: the program must exit
  // without waiting for it.
  bool abandoned = false;
  // What the session made of the ended run: its results lines, whether it was recorded.
  // Empty for a test that did not start (see `refusal`).
  std::optional<EndedRun> ended;
  // Why the test did not start (a server or port the operator must mend); empty when it ran.
  std::string refusal;
  // The report for support, when one was asked for.
  std::string report_html;
  // What else a monitoring system should be told, one line each: where the metrics went
  // when not where they were asked, or that they could not be written.
  std::vector<std::string> notes;

  // The time-out or a stop request ended the run before it ended by itself.
  bool Stopped() const { return run.stopped; }
  bool TimedOut() const { return run.stopped && stopped_by == kByTimeOut; }
};

// The test the options ask for: the selection's defaults, with what the operator typed
// overriding them.
TestRequest RequestFor(const ConsoleOptions& options);

// Runs the test; trace lines go to `trace_out`, or nowhere when it is null. The time-out
// and a stop request (see StopRequests) stop it alike; every wait for the history counts
// against the time-out too, so a run that cannot be recorded in time is not.
ConsoleOutcome RunConsoleTest(const ConsoleOptions& options, ConsoleStream* trace_out);

// 0 SUCCESS, 1 SOME ROUTES FAILED, 2 FAILURE, 3 stopped (time-out, stop request) or
// anything else.
int ExitStatus(const ConsoleOutcome& outcome);

// "Timed out after 2 s in state UpdateRoutes, while asking the route servers", "Stopped by
// SIGTERM after 1.02 s in state …": what standard error says of a stopped run.
std::string StoppedLine(const ConsoleOptions& options, const ConsoleOutcome& outcome);

// The start time in ISO 8601 with the local offset, "2026-12-07T22:29:53+01:00".
std::string StartTimeText(const RunSnapshot& run);

// Where a stopped run was, for a person: "while profiling route 2 of 3", ….
std::string StoppedWhere(const ConsoleOutcome& outcome);

// A route server as the trace names it, "127.0.0.1:6900": the address asked (the item
// typed when it had none) and the port in hexadecimal, as the operator types it.
std::string ServerName(const ServerResult& server);

// The route servers as the trace names them, "127.0.0.1:6900" (the port in hexadecimal,
// as the operator types it), with what each did: "; " between them.
std::string ServersSummary(const RunSnapshot& run);

// No route server gave a route list.
bool NoServerAnswered(const RunSnapshot& run);

}  // namespace zp
