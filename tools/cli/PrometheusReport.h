#pragma once
#include <chrono>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/ConsoleRunner.h"
#include "run/NextSteps.h"

namespace zp {

// The outcome in the Prometheus text format, for node_exporter's textfile collector:
//   zelvan_probe_up                      1 the run ended by itself, 0 it was stopped
//   zelvan_probe_result{banner}          the exit status: 0 SUCCESS, 1 SOME ROUTES FAILED,
//                                        2 FAILURE, 3 STOPPED (the banner label says which)
//   zelvan_probe_route_score{route,address}            detail records missing, 0 is best;
//                                                      no sample for a route not scored
//   zelvan_probe_route_scored{route,address}           1 scored, 0 not reached or cut short
//   zelvan_probe_route_failed{route,address}           1 when the route counts as failed
//   zelvan_probe_route_profile_seconds{route,address}  connect to heartbeat (or failure)
//   zelvan_probe_route_outcome{route,address,outcome}  1, with the outcome's code
//   zelvan_probe_key_ok                  1 when the gateway's public key arrived
//   zelvan_probe_key_outcome{outcome}    1, with the key's outcome's code
//   zelvan_probe_run_outcome{outcome}    1, with the run's outcome's code
//   zelvan_probe_duration_seconds        the run's elapsed time
//   zelvan_probe_last_run_timestamp_seconds  `now`, in seconds since the Unix epoch
//   zelvan_probe_stopped                 1 when the run was stopped (time-out, stop signal)
// each with HELP and TYPE lines. A route is listed whether or not the run reached it.
// Numbers are written the same whatever the process's locale is. `constant_labels` go on
// every sample, after the series' own.
using MetricLabels = std::vector<std::pair<std::string, std::string>>;
std::string PrometheusReport(const ConsoleOutcome& outcome, std::chrono::system_clock::time_point now,
                             const MetricLabels& constant_labels = {});

// The operator's constant labels from "NAME=VALUE" texts, so that one Prometheus can tell
// many sites apart. A name must be a Prometheus label name not reserved to Prometheus
// ("__" first, "le" and "quantile"), in snake_case as promtool demands, given once, and
// none of the labels the probe writes itself (route, address, banner, outcome). A label with an empty value is left out, as Prometheus would drop it.
// Returns what is wrong with the first bad text, or an empty string.
std::string ParseMetricLabels(const std::vector<std::string>& texts, MetricLabels& labels);

// A label value as the format has it between its double quotes: backslash, double quote
// and line feed escaped as \\, \" and \n; any byte that is not UTF-8 becomes U+FFFD, since
// a reader rejects the whole file for one such byte.
std::string PrometheusLabelValue(std::string_view text);

// Appends the sample `metric{labels,outcome="<code>",constant} 1`, the code being the
// table's (NextSteps.h). A kind outside the table has no code and writes nothing (false):
// no other word can reach an outcome label.
bool WriteOutcomeSample(std::string& out, const char* metric, const std::string& labels, const std::string& constant,
                        OutcomeKind kind);

}  // namespace zp
