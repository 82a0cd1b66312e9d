#pragma once
#include <string>

#include "cli/ConsoleRunner.h"

namespace zp {

// The outcome as one JSON document: the result code, its banner word ("STOPPED" for a
// stopped run) and the process's exit status, the settings, the start time (ISO 8601
// with the local offset), the elapsed seconds, the state and phase the run ended in,
// whether it was stopped and whether by its time-out (timed_out),
// every route with its score (null for a route not scored), outcome and reason, whether
// every route failed, every route server asked and the key's outcome. The fields are described by zelvan-probe-cli.schema.json. Texts that
// are not UTF-8 have their bad bytes replaced.
std::string JsonReport(const ConsoleOutcome& outcome);

}  // namespace zp
