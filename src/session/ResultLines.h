#pragma once
#include <optional>

#include "history/HistoryRecord.h"
#include "run/RunRecord.h"
#include "session/SessionView.h"

namespace zp {

// The results of an ended test in lines, the same in both windows and the console, under
// one heading whether or not a history is kept: one line per route with its score, its
// entry, its change against `previous` (a dash without one) and what happened to it in
// words, the public key's line and the legend; without routes, each route server asked
// and what it did ("asked again" in the second round). A route without a score shows a
// dash where the score would be, and says "not scored" before its reason.
ResultsView MakeResults(const RunSnapshot& run, const std::optional<PreviousScores>& previous);

class RunHistory;

// An ended test as the session hands it out: recorded in `history` (when there is one)
// after each route's previous score with the same settings was read for the change column.
EndedRun RecordEnded(RunHistory* history, const RunSnapshot& run);

// A route server as the results name it: "host:6900 (address)", the port in hexadecimal
// as the operator types it, the address when it differs from the name.
std::string ServerLabel(const ServerResult& server);

}  // namespace zp
