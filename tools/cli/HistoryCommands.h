#pragma once
#include <string>

#include "cli/ConsoleRunner.h"
#include "cli/ConsoleStream.h"

namespace zp {

// The console's side of the run history and the report: listing what the history holds,
// recording a finished run and writing the report of one.

inline constexpr int kDefaultHistoryShown = 20;

// The newest `count` runs, newest first, each written as it is read: one line each with
// the start time (UTC), the result and the failed routes; one JSON document (--json); or
// one row per run and route for a spreadsheet (--csv). "No history yet" while there is no
// file (none is made). 0 when listed; 3 when the history is not available or cannot be
// read: not a history of this program, damaged, a read that fails (the reason on `err`).
int PrintHistory(const ConsoleOptions& options, long long count, ConsoleStream& out, ConsoleStream& err);
// The trend of one route over the newest `count` runs that had it, newest first: time,
// score, profiling time and outcome per run.
int PrintRouteTrend(const ConsoleOptions& options, const std::string& route, long long count, ConsoleStream& out,
                    ConsoleStream& err);
// Drops the runs started more than `older_than_days` days ago and says how many went; a
// missing history stays missing.
int PruneHistory(const ConsoleOptions& options, int older_than_days, ConsoleStream& out, ConsoleStream& err);

// Says on `err` when the run could not be recorded (a warning) and writes the report asked
// for, to `out` for "-"; a report that cannot be written to its file is an error: false.
bool ReportRun(const ConsoleOptions& options, const ConsoleOutcome& outcome, ConsoleStream& out, ConsoleStream& err);

}  // namespace zp
