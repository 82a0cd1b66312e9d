#include "cli/PrometheusReport.h"

#include <charconv>
#include <set>
#include <utility>

#include "run/NextSteps.h"
#include "run/RunConstants.h"
#include "run/RunWords.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0 when it is
// not one (overlong forms, surrogates and code points past U+10FFFF included).
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

std::string Number(double value, int decimals) {
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  return ec == std::errc() ? std::string(buf, end) : std::string("NaN");
}

std::string Number(long long value) {
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, ec == std::errc() ? end : buf);
}

void Family(std::string& out, const char* name, const std::string& help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += " gauge\n";
}

// `constant` is the operator's labels, already written out: `site="berlin"`.
void WriteSample(std::string& out, const char* name, const std::string& labels, const std::string& constant,
                 const std::string& value) {
  out += name;
  if (!labels.empty() || !constant.empty())
    out += "{" + labels + (labels.empty() || constant.empty() ? "" : ",") + constant + "}";
  out += ' ' + value + '\n';
}

bool IsLabelName(std::string_view name) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  if (name.empty() || !letter(name[0])) return false;
  for (const char c : name)
    if (!letter(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

// The first small letter followed by a capital ("eN" in "siteName"), which the format's
// checker rejects in a label name; empty when there is none.
std::string_view CamelCaseAt(std::string_view name) {
  for (std::size_t i = 0; i + 1 < name.size(); ++i)
    if (name[i] >= 'a' && name[i] <= 'z' && name[i + 1] >= 'A' && name[i + 1] <= 'Z') return name.substr(i, 2);
  return {};
}

// "127.0.0.1:7000", as the route entry names it; empty for an entry without an address.
std::string RouteAddress(const RouteResult& route) {
  return route.address.empty() ? std::string() : route.address + ":" + std::to_string(route.port);
}

}  // namespace

std::string PrometheusLabelValue(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = Utf8Length(text);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      text.remove_prefix(1);
      continue;
    }
    if (text[0] == '\\') {
      out += "\\\\";
    } else if (text[0] == '"') {
      out += "\\\"";
    } else if (text[0] == '\n') {
      out += "\\n";
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return out;
}

std::string ParseMetricLabels(const std::vector<std::string>& texts, MetricLabels& labels) {
  labels.clear();
  std::set<std::string> names;
  for (const std::string& text : texts) {
    const auto equals = text.find('=');
    if (equals == std::string::npos) return "expected NAME=VALUE, got \"" + text + "\"";
    std::string name = text.substr(0, equals);
    if (!IsLabelName(name))
      return "\"" + name + "\" is not a label name: a letter or _ first, then letters, digits and _";
    if (name.compare(0, 2, "__") == 0) return "\"" + name + "\": names starting with __ are Prometheus' own";
    // Histograms and summaries own these two; on a gauge a reader rejects the file.
    if (name == "le" || name == "quantile")
      return "\"" + name + "\" is the label of Prometheus' histograms and summaries, which these series are not";
    if (const std::string_view camel = CamelCaseAt(name); !camel.empty())
      return "\"" + name + "\" is not snake_case (\"" + std::string(camel) +
             "\"): write label names in small letters with _ between words";
    if (name == "route" || name == "address" || name == "banner" || name == "outcome")
      return "\"" + name + "\" is a label the probe writes itself";
    if (!names.insert(name).second) return "label \"" + name + "\" given more than once";
    if (equals + 1 < text.size()) labels.emplace_back(std::move(name), text.substr(equals + 1));
  }
  return std::string();
}

bool WriteOutcomeSample(std::string& out, const char* metric, const std::string& labels, const std::string& constant,
                        OutcomeKind kind) {
  const NextStepEntry* entry = EntryOf(kind);
  if (entry == nullptr) return false;
  // The code is the table's own and needs no escaping: snake_case, never from the network.
  WriteSample(out, metric, labels + (labels.empty() ? "" : ",") + "outcome=\"" + entry->code + "\"", constant, "1");
  return true;
}

std::string PrometheusReport(const ConsoleOutcome& outcome, std::chrono::system_clock::time_point now,
                             const MetricLabels& constant_labels) {
  const RunSnapshot& run = outcome.run;
  const bool stopped = outcome.Stopped();
  std::string out;
  std::string constant;
  for (const auto& [name, value] : constant_labels)
    constant += (constant.empty() ? "" : ",") + name + "=\"" + PrometheusLabelValue(value) + "\"";
  const auto Sample = [&](const char* name, const std::string& own, const std::string& value) {
    WriteSample(out, name, own, constant, value);
  };

  Family(out, "zelvan_probe_up", "1 when the last run ended by itself, 0 when it was stopped (its time-out, a stop signal).");
  Sample("zelvan_probe_up", "", stopped || !run.finished ? "0" : "1");

  Family(out, "zelvan_probe_result",
         "Result of the last run as the console runner's exit status: 0 SUCCESS, 1 SOME ROUTES FAILED, "
         "2 FAILURE, 3 STOPPED; the banner label names it.");
  const std::string banner = stopped || !run.finished ? "STOPPED" : RunBannerWord(run);
  Sample("zelvan_probe_result", "banner=\"" + PrometheusLabelValue(banner) + "\"",
         Number(ExitStatus(outcome)));

  // Each route once: a route server listing the same entry twice would otherwise give
  // two samples of one series, and the collector would drop the whole file.
  std::vector<std::pair<std::string, const RouteResult*>> routes;
  std::set<std::string> seen;
  for (const RouteResult& r : run.routes) {
    // Names and addresses come from the route server: shown on a dashboard or in an
    // alert, their control and direction characters must not act, as on a terminal.
    std::string labels = "route=\"" + PrometheusLabelValue(EscapeControls(r.name)) + "\",address=\"" +
                         PrometheusLabelValue(EscapeControls(RouteAddress(r))) + "\"";
    if (seen.insert(labels).second) routes.emplace_back(std::move(labels), &r);
  }
  if (!routes.empty()) {
    const std::string sent = std::to_string(ExchangeSettings().FDetailRecords);
    // A route without a score has no sample rather than a number that would read as the
    // worst: a graph shows a gap, and zelvan_probe_route_scored says why.
    Family(out, "zelvan_probe_route_score",
           "Detail records the route reported missing of the " + sent + " sent: 0 is best, " + sent +
               " or more for a route that failed; no sample for a route not scored.");
    for (const auto& [labels, r] : routes)
      if (r->HasScore()) Sample("zelvan_probe_route_score", labels, Number(r->score));
    Family(out, "zelvan_probe_route_scored",
           "1 when the route's profile ended by itself and scored it, 0 when the run never reached it or a stop "
           "cut it short.");
    for (const auto& [labels, r] : routes) Sample("zelvan_probe_route_scored", labels, r->HasScore() ? "1" : "0");
    Family(out, "zelvan_probe_route_failed",
           "1 when the route counts as failed in the result, 0 when it passed or the run was stopped before it.");
    for (const auto& [labels, r] : routes) Sample("zelvan_probe_route_failed", labels, r->failed ? "1" : "0");
    Family(out, "zelvan_probe_route_profile_seconds",
           "Seconds from the route's connect to its heartbeat, or to its failure; 0 when not tried.");
    for (const auto& [labels, r] : routes)
      Sample("zelvan_probe_route_profile_seconds", labels, Number(r->profile_seconds, 3));
    // Why, as a code from the table of outcomes and what to check next: an alert reads it
    // into its text rather than keeping it among the labels that make it one alert.
    Family(out, "zelvan_probe_route_outcome",
           "1 for the route's outcome in the last run, as a code of the monitoring guide's table (refused, "
           "no_heartbeat, records_missing, ...).");
    for (const auto& [labels, r] : routes)
      WriteOutcomeSample(out, "zelvan_probe_route_outcome", labels, constant, OutcomeOf(*r, run.stopped));
  }

  Family(out, "zelvan_probe_key_ok", "1 when the gateway's public key arrived in the last run.");
  Sample("zelvan_probe_key_ok", "", run.key.outcome == KeyOutcome::Received ? "1" : "0");
  Family(out, "zelvan_probe_key_outcome",
         "1 for the public key's outcome in the last run, as a code of the monitoring guide's table (received, "
         "not_received, ...).");
  WriteOutcomeSample(out, "zelvan_probe_key_outcome", "", constant, OutcomeOf(run.key, run.stopped));
  Family(out, "zelvan_probe_run_outcome",
         "1 for what the last run came to as a whole, as a code of the monitoring guide's table (success, "
         "some_routes_failed, every_route_failed, key_not_received, no_route_list, run_stopped).");
  WriteOutcomeSample(out, "zelvan_probe_run_outcome", "", constant, RunOutcomeOf(run));
  Family(out, "zelvan_probe_duration_seconds", "Wall-clock seconds the last run took.");
  Sample("zelvan_probe_duration_seconds", "", Number(run.elapsed_seconds, 3));
  Family(out, "zelvan_probe_last_run_timestamp_seconds", "When the last run ended, in seconds since the Unix epoch.");
  const double epoch_seconds = std::chrono::duration<double>(now.time_since_epoch()).count();
  Sample("zelvan_probe_last_run_timestamp_seconds", "", Number(epoch_seconds, 3));
  Family(out, "zelvan_probe_stopped", "1 when the last run was stopped (its time-out, a stop signal) before it ended.");
  Sample("zelvan_probe_stopped", "", stopped ? "1" : "0");
  return out;
}

}  // namespace zp
