#pragma once
#include <string>

#include "cli/ConsoleRunner.h"

namespace zp {

// The outcome as one JSON document: the result and its banner word, the settings, the
// start time, the elapsed seconds, the state the run ended in, whether it was stopped
// (timed_out, kept for scripts that read it, says the same), and every route with its
// score, whether it failed, its outcome and the failure's own text. Texts that are not
// UTF-8 have their bad bytes replaced.
std::string JsonReport(const ConsoleOutcome& outcome);

}  // namespace zp
