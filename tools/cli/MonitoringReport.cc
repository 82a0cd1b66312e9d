#include "cli/MonitoringReport.h"

#include <algorithm>
#include <cstdio>

#include "run/ConnectionChoice.h"
#include "run/NextSteps.h"
#include "run/RunConstants.h"
#include "run/RunWords.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

// Seconds with two decimals and a "." whatever the locale says.
std::string Seconds(double seconds) {
  const long long hundredths = static_cast<long long>(seconds * 100.0 + 0.5);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%lld.%02lld", hundredths / 100, hundredths % 100);
  return buf;
}

// `text` with each of `bytes` written as "\xNN" too, after EscapeControls has made it
// printable (its own escapes hold none of them).
std::string EscapeAlso(std::string_view text, std::string_view bytes) {
  const std::string safe = EscapeControls(text);
  std::string out;
  out.reserve(safe.size());
  for (const char c : safe) {
    if (bytes.find(c) == std::string_view::npos) {
      out += c;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
    out += escaped;
  }
  return out;
}

// The scored routes at or above the warning score, by name: "r1, r3".
std::string AtWarning(const RunSnapshot& run, int warning_score) {
  std::string names;
  if (warning_score <= 0) return names;
  for (const RouteResult& r : run.routes)
    if (r.HasScore() && !r.failed && r.score >= warning_score) names += (names.empty() ? "" : ", ") + r.name;
  return names;
}

std::string Summary(const ConsoleOutcome& out, int warning_score) {
  const RunSnapshot& run = out.run;
  char buf[256];
  if (out.Stopped()) {
    const std::string by = out.TimedOut() ? "timed out" : "stopped by " + out.stopped_by;
    std::snprintf(buf, sizeof buf, " after %s s ", Seconds(run.elapsed_seconds).c_str());
    return by + buf + StoppedWhere(out) + ", in state " + out.end_state;
  }
  if (run.routes.empty() && NoServerAnswered(run))
    return "no route server answered: " + (run.servers.empty() ? std::string("none asked") : ServersSummary(run));
  if (run.routes.empty()) return std::string(BannerWord(run.result_code)) + ", no routes listed: " + ServersSummary(run);
  std::snprintf(buf, sizeof buf, "%s, %d of %d routes failed", BannerWord(run.result_code), run.FailedRoutes(),
                run.RouteCount());
  std::string summary = buf;
  if (SucceededWithEveryRouteFailed(run)) summary += std::string(": ") + kEveryRouteFailedNote;
  if (run.key.outcome != KeyOutcome::Received) summary += ", public key " + KeyReason(run.key, run.stopped);
  const std::string high = AtWarning(run, warning_score);
  if (!high.empty()) summary += ", score " + std::to_string(warning_score) + " or more: " + high;
  return summary;
}

}  // namespace

std::string MonitoringText(std::string_view text) { return EscapeAlso(text, "\t|"); }

std::string PerfdataLabel(std::string_view name) {
  std::string label = "'";
  for (const char c : EscapeAlso(name, "\t|=")) label += c == '\'' ? std::string("''") : std::string(1, c);
  return label + "'";
}

int MonitoringStatus(const ConsoleOutcome& out, int warning_score) {
  // A success on the key alone, with no route working, is nothing to be calm about.
  if (SucceededWithEveryRouteFailed(out.run)) return 1;
  const int status = ExitStatus(out);
  return status == 0 && !AtWarning(out.run, warning_score).empty() ? 1 : status;
}

std::string MonitoringReport(const ConsoleOutcome& out, int warning_score) {
  const RunSnapshot& run = out.run;
  const int status = MonitoringStatus(out, warning_score);
  // A route's score runs from 0 (every record arrived) to the number of records sent;
  // the plugins' ranges alert above their end, so 0 to 24 is fine and the failed score is
  // critical, and a warning score N warns from N on.
  const int worst = ExchangeSettings().FDetailRecords;
  const std::string thresholds =
      (warning_score > 0 ? std::to_string(warning_score - 1) : std::string()) + ";" + std::to_string(worst - 1);
  std::string perf;
  char buf[64];
  for (const RouteResult& r : run.routes) {
    // A score past the range is a broken answer, reported as the worst the range has;
    // the route line below gives the number itself. A route without a score has the
    // plugins' "U": its value could not be determined.
    if (r.HasScore())
      std::snprintf(buf, sizeof buf, "=%d;%s;0;%d ", std::clamp(r.score, 0, worst), thresholds.c_str(), worst);
    else
      std::snprintf(buf, sizeof buf, "=U;%s;0;%d ", thresholds.c_str(), worst);
    perf += PerfdataLabel(r.name) + buf;
  }
  perf += "elapsed=" + Seconds(run.elapsed_seconds) + "s";

  static constexpr const char* kWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  // A route server's own words may hold anything.
  std::string report =
      std::string("ZELVAN PROBE ") + kWords[status] + " - " + MonitoringText(Summary(out, warning_score)) + " | " +
      perf + "\n";
  // The long text: each failed route, why, and what to check next, as the results say it.
  for (const RouteResult& r : run.routes) {
    if (!r.failed) continue;
    report += MonitoringText(r.entry) + " score " + std::to_string(r.score) + ": " +
              MonitoringText(RouteReason(r, run.stopped)) + "\n";
    const char* step = NextStepOf(OutcomeOf(r, run.stopped));
    if (*step != '\0') report += std::string("  what to check next: ") + step + "\n";
  }
  if (out.ended && !out.ended->record_error.empty())
    report += "not recorded in the history: " + MonitoringText(out.ended->record_error) + "\n";
  for (const std::string& note : out.notes) report += MonitoringText(note) + "\n";
  return report;
}

std::string MonitoringUsageError(const std::string& message) {
  std::string text = message;
  std::replace(text.begin(), text.end(), '\n', ' ');
  return "ZELVAN PROBE UNKNOWN - " + MonitoringText(text) + "\n";
}

}  // namespace zp
