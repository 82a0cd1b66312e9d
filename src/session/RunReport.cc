#include "session/RunReport.h"

#include "framework/Format.h"
#include "history/RunHistory.h"
#include "platform/SystemName.h"
#include "report/HtmlReport.h"
#include "run/ProgramVersion.h"

namespace zp {

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
  } else if (const auto runs = history->Recent(history->Limit())) {
    // Oldest first, for the trends and the plots.
    for (auto it = runs->rbegin(); it != runs->rend(); ++it)
      if (SameSettings(it->settings, ended.run.settings)) in.history.push_back(*it);
  } else {
    in.history_note = "the history cannot be read: " + history->LastError();
  }
  return HtmlReport(in);
}

}  // namespace zp
