#pragma once
#include <string>

#include "cli/ConsoleRunner.h"

namespace zp {

// What the console writes after the trace: the banner ("S T O P P E D" for a stopped
// run), the note beside it and the results lines as the windows show them: each route
// with its score, entry, change and outcome, the public key's outcome and the legend, or, when no
// route server gave a list, each server and what it did. Texts from the network are
// escaped.
std::string PlainReport(const ConsoleOutcome& outcome);

}  // namespace zp
