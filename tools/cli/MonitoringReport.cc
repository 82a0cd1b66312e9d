#include "cli/MonitoringReport.h"

#include <algorithm>
#include <cstdio>

#include "client/ConnectionChoice.h"
#include "client/ExchangeHost.h"
#include "client/TraceLine.h"

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
  static constexpr const char* kWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

  std::string summary;
  char buf[256];
  if (out.TimedOut()) {
    std::snprintf(buf, sizeof buf, "timed out after %s s in state %s", Seconds(run.elapsed_seconds).c_str(),
                  out.end_state.c_str());
    summary = buf;
  } else {
    std::snprintf(buf, sizeof buf, "%s, %d of %d routes failed", BannerWord(run.result_code), run.FailedRoutes(),
                  run.RouteCount());
    summary = buf;
  }
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

  std::string report = std::string("ZELVAN PROBE ") + kWords[status] + " - " + summary + " | " + perf + "\n";
  for (const RouteResult& r : run.routes)
    report += EscapeControls(r.entry) + " score " + std::to_string(r.score) + (r.failed ? " (failed)" : "") + "\n";
  return report;
}

}  // namespace zp
