#pragma once
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"
#include "run/RunRecord.h"

namespace zp {

// What a report is made of: the run, what the history knows around it, and the trace.
struct ReportInput {
  RunSnapshot run;
  // Recorded runs with the run's settings, oldest first, the run itself last when it was
  // recorded; empty when there is no history.
  std::vector<HistoryRun> history;
  std::string history_note;  // why there is no history ("history is not available …"), or empty
  // Each route's previous score, as the results told its change; when none is given it
  // is read from `history`.
  std::optional<PreviousScores> previous;
  std::vector<std::string> trace;  // the trace lines as the window's list shows them
  std::string version;
  std::string system;
};

// One self-contained HTML page for a support ticket: the result and banner, each route
// with its score, reason and trend against the earlier runs, the history plots as inline
// SVG, the settings, the program's version and the operating system, and the whole trace.
// No script, no style sheet, font or image from elsewhere. Every text is escaped, and
// bytes that are not UTF-8 show as "\xNN".
std::string HtmlReport(const ReportInput& input);

}  // namespace zp
