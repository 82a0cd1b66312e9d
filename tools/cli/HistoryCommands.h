#pragma once
#include <string>

#include "cli/ConsoleRunner.h"
#include "cli/ConsoleStream.h"

namespace zp {

// The console's side of the run history and the report: listing what the history holds,
// recording a finished run and writing the report of one.

inline constexpr int kDefaultHistoryShown = 20;

// The newest `count` runs, newest first: one line each with the start time (UTC), the
// result and the failed routes, or one JSON document; "No history yet" while there is no
// file (none is made). 0 when listed; 3 when the history is not available or cannot be
// read: not a history of this program, damaged, a read that fails (the reason on `err`).
int PrintHistory(const ConsoleOptions& options, int count, ConsoleStream& out, ConsoleStream& err);
// The trend of one route over the newest `count` runs that had it, newest first: time,
// score, profiling time and outcome per run.
int PrintRouteTrend(const ConsoleOptions& options, const std::string& route, int count, ConsoleStream& out,
                    ConsoleStream& err);

// Says on `err` when the run could not be recorded (a warning) and writes the report asked
// for, to `out` for "-"; a report that cannot be written to its file is an error: false.
bool ReportRun(const ConsoleOptions& options, const ConsoleOutcome& outcome, ConsoleStream& out, ConsoleStream& err);

}  // namespace zp
