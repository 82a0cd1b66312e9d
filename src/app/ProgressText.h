#pragma once
#include <string>

#include "client/RunRecord.h"

namespace zp {

// The line under the trace that tells the operator where a running test is: its phase,
// and while routes are profiled "route k of n".
std::string ProgressText(const RunSnapshot& run);

}  // namespace zp
