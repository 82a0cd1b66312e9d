#include "cli/MonitoringReport.h"

#include <algorithm>
#include <cstdio>

#include "run/ConnectionChoice.h"
#include "run/RunConstants.h"
#include "run/RunWords.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

// A perfdata label in single quotes, a quote inside doubled; '=' is not allowed in a
// label, so it is replaced.
std::string Label(const std::string& name) {
  std::string out = "'";
  for (const char c : name) {
    if (c == '\'') {
      out += "''";
    } else if (c == '=' || static_cast<unsigned char>(c) < 32) {
      out += '_';
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Seconds with two decimals and a "." whatever the locale says.
std::string Seconds(double seconds) {
  const long long hundredths = static_cast<long long>(seconds * 100.0 + 0.5);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%lld.%02lld", hundredths / 100, hundredths % 100);
  return buf;
}

}  // namespace

std::string MonitoringReport(const ConsoleOutcome& out) {
  const RunSnapshot& run = out.run;
  const int status = ExitStatus(out);
  char buf[256];
  std::string summary;
  if (out.TimedOut()) {
    std::snprintf(buf, sizeof buf, "timed out after %s s ", Seconds(run.elapsed_seconds).c_str());
    summary = buf + StoppedWhere(out) + ", in state " + out.end_state;
  } else if (run.routes.empty() && NoServerAnswered(run)) {
    summary = "no route server answered: " + (run.servers.empty() ? std::string("none asked") : ServersSummary(run));
  } else if (run.routes.empty()) {
    summary = std::string(BannerWord(run.result_code)) + ", no routes listed: " + ServersSummary(run);
  } else {
    std::snprintf(buf, sizeof buf, "%s, %d of %d routes failed", BannerWord(run.result_code), run.FailedRoutes(),
                  run.RouteCount());
    summary = buf;
    if (run.key.outcome != KeyOutcome::Received) summary += ", public key " + KeyReason(run.key, run.stopped);
  }
  // A route server's own words may hold anything; a "|" would start the perfdata.
  summary = EscapeControls(summary);
  std::replace(summary.begin(), summary.end(), '|', '/');

  // A route's score runs from 0 (every record arrived) to the number of records sent.
  const int worst = ExchangeSettings().FDetailRecords;
  std::string perf;
  for (const RouteResult& r : run.routes) {
    // A score past the range is a broken answer, reported as the worst the range has;
    // the route line below gives the number itself.
    std::snprintf(buf, sizeof buf, "=%d;;;0;%d ", std::clamp(r.score, 0, worst), worst);
    perf += Label(r.name) + buf;
  }
  perf += "elapsed=" + Seconds(run.elapsed_seconds) + "s";

  static constexpr const char* kWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  std::string report = std::string("ZELVAN PROBE ") + kWords[status] + " - " + summary + " | " + perf + "\n";
  // The long text: each failed route and why.
  for (const RouteResult& r : run.routes) {
    if (!r.failed) continue;
    report += EscapeControls(r.entry) + " score " + std::to_string(r.score) + ": " +
              EscapeControls(RouteReason(r, run.stopped)) + "\n";
  }
  return report;
}

std::string MonitoringUsageError(const std::string& message) {
  std::string text = message;
  std::replace(text.begin(), text.end(), '\n', ' ');
  return "ZELVAN PROBE UNKNOWN - " + EscapeControls(text) + "\n";
}

}  // namespace zp
