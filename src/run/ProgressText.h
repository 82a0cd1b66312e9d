#pragma once
#include <string>

#include "run/RunRecord.h"

namespace zp {

// The line beside the worker's state that tells the operator where a running test is:
// its phase, "route k of n" while routes are profiled, and what the worker waits for
// with the seconds left: "Fetching the route list: waiting for the route server's answer
// — 31 s left, attempt 1 of 2". Waits of 2 s or less are not counted down. A record
// without its wait (a worker that keeps none) counts the pause before asking for routes
// again from `phase_seconds`, how long the run has been in its phase.
std::string ProgressText(const RunSnapshot& run, double phase_seconds = 0);

// What the worker waits for, in words, with the seconds left and the attempt: "waiting
// for the login reply — 4 s left, attempt 2 of 3"; empty when it waits for nothing worth
// counting down.
std::string WaitText(const RunWait& wait);

}  // namespace zp
