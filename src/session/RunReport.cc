#include "session/RunReport.h"

#include "framework/Format.h"
#include "history/RunHistory.h"
#include "platform/SystemName.h"
#include "report/HtmlReport.h"
#include "run/ProgramVersion.h"

namespace zp {

namespace {

// The runs with the same settings that the report plots: as many as the History window
// shows, however long the history.
constexpr long long kReportRuns = 500;

}  // namespace

std::string ReportOf(const EndedRun& ended, RunHistory* history) {
  ReportInput in;
  in.run = ended.run;
  in.trace = ended.trace;
  in.previous = ended.previous;
  if (ended.trace_left_out > 0)
    in.trace.push_back(Format("\u2026 %zu more lines are not in this report", ended.trace_left_out));
  in.version = ProgramVersion();
  in.system = SystemName();
  if (history == nullptr) {
    in.history_note = RunHistory::Available() ? "No history is kept." : RunHistory::UnavailableText();
  } else if (const auto runs = history->Runs({.settings = ended.run.settings, .count = kReportRuns})) {
    // Oldest first, for the trends and the plots.
    in.history.assign(runs->rbegin(), runs->rend());
  } else {
    in.history_note = "the history cannot be read: " + history->LastError();
  }
  return HtmlReport(in);
}

}  // namespace zp
