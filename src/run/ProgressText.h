#pragma once
#include <string>

#include "run/RunRecord.h"

namespace zp {

// The line beside the worker's state that tells the operator where a running test is:
// its phase, "route k of n" while routes are profiled, and while the worker waits to ask
// for routes again the seconds left, counted from `phase_seconds` (how long the run has
// been in its phase).
std::string ProgressText(const RunSnapshot& run, double phase_seconds = 0);

}  // namespace zp
