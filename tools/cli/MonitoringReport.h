#pragma once
#include <string>

#include "cli/ConsoleRunner.h"

namespace zp {

// The outcome in the monitoring-plugins format: a first line
// "ZELVAN PROBE <OK|WARNING|CRITICAL|UNKNOWN> - <summary> | <perfdata>" with one
// perfdata item per route ('name'=score;;;0;25) and the elapsed time, then one line per
// failed route with its reason. The summary names what went wrong: the route servers
// when none answered, the phase a time-out stopped. Numbers are written in the C locale
// whatever the process's locale is.
std::string MonitoringReport(const ConsoleOutcome& outcome);

// The status line of a run that could not start: a usage or internal error, UNKNOWN.
std::string MonitoringUsageError(const std::string& message);

}  // namespace zp
