#pragma once
#include <string>

#include "session/SessionView.h"

namespace zp {

class RunHistory;

// The report for support of an ended test: the page of the report with the runs the
// history holds with the same settings (none, and why, without a history).
std::string ReportOf(const EndedRun& ended, RunHistory* history);

}  // namespace zp
