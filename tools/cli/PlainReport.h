#pragma once
#include <string>

#include "cli/ConsoleRunner.h"

namespace zp {

// What the console writes after the trace: the banner ("S T O P P E D" for a run the
// time-out stopped), one line per route with its score, entry and reason, the public
// key's outcome, and, when no route server gave a list, each server and what it did.
// Texts from the network are escaped.
std::string PlainReport(const ConsoleOutcome& outcome);

}  // namespace zp
