#pragma once
#include <string>
#include <string_view>

#include "cli/ConsoleRunner.h"

namespace zp {

// The monitoring state and the exit status with --monitoring: the exit status, except that
// a SUCCESS in which every route failed its profile (the key alone made it one) is
// WARNING (1), and so is one in which a route that passed scored `warning_score` or more
// (--warning; 0: no such threshold).
int MonitoringStatus(const ConsoleOutcome& outcome, int warning_score = 0);

// The outcome in the monitoring-plugins format: a first line
// "ZELVAN PROBE <OK|WARNING|CRITICAL|UNKNOWN> - <summary> | <perfdata>" with one
// perfdata item per route ('name'=score;;24;0;25, 'name'=U;;24;0;25 for a route without a
// score; the warning threshold, warning_score - 1, before the 24) and the elapsed time,
// then one line per failed route with its reason and one with what to check next, one saying
// so when the run could not be recorded in the history, and one per note of the outcome
// (where the metrics went). The summary names what went wrong: the route servers when none answered,
// the phase a stop came in. Numbers are written in the C locale whatever the process's
// locale is. Every text from the network goes through MonitoringText, so that the first
// line holds exactly one "|" and the others none, and no line holds anything but
// printable ASCII and valid UTF-8.
std::string MonitoringReport(const ConsoleOutcome& outcome, int warning_score = 0);

// The status line of a run that could not start: a usage or internal error, UNKNOWN.
std::string MonitoringUsageError(const std::string& message);

// A text as a monitoring line may hold it: what EscapeControls leaves, with the tab and
// "|" escaped as "\x09" and "\x7C" too (a "|" starts the perfdata on any line).
std::string MonitoringText(std::string_view text);

// A perfdata label as the plugins' guidelines have it: in single quotes, a quote inside
// doubled, and "=" (which no label may hold) escaped as "\x3D" besides MonitoringText's.
std::string PerfdataLabel(std::string_view name);

}  // namespace zp
