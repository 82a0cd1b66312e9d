#pragma once
#include <string>

#include "cli/ConsoleRunner.h"

namespace zp {

// The outcome in the monitoring-plugins format: a first line
// "ZELVAN PROBE <OK|WARNING|CRITICAL|UNKNOWN> - <summary> | <perfdata>" with one
// perfdata item per route ('name'=score;;;0;25) and the elapsed time, then one line per
// route. Numbers are written in the C locale whatever the process's locale is.
std::string MonitoringReport(const ConsoleOutcome& outcome);

}  // namespace zp
