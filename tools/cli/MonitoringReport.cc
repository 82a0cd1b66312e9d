#include "cli/MonitoringReport.h"

#include <cstdio>

#include "client/ProbeExpressClientThread.h"
#include "client/RouteEntry.h"

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
  const int status = ExitStatus(out);
  static constexpr const char* kWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};
  int failed = 0;
  for (const auto& r : out.routes)
    if (r.score == 25) ++failed;

  std::string summary;
  char buf[256];
  if (out.timed_out) {
    std::snprintf(buf, sizeof buf, "timed out after %s s in state %s", Seconds(out.elapsed_seconds).c_str(),
                  out.end_state.c_str());
    summary = buf;
  } else {
    std::snprintf(buf, sizeof buf, "%s, %d of %d routes failed", BannerWord(out.result_code), failed,
                  static_cast<int>(out.routes.size()));
    summary = buf;
  }
  std::string perf;
  for (const auto& r : out.routes) {
    std::snprintf(buf, sizeof buf, "=%d;;;0;25 ", r.score);
    perf += Label(SplitRouteEntry(r.text).name) + buf;
  }
  perf += "elapsed=" + Seconds(out.elapsed_seconds) + "s";

  std::string report = std::string("ZELVAN PROBE ") + kWords[status] + " - " + summary + " | " + perf + "\n";
  for (const auto& r : out.routes)
    report += r.text + " score " + std::to_string(r.score) + (r.score == 25 ? " (failed)" : "") + "\n";
  return report;
}

}  // namespace zp
