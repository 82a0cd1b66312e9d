#include "report/HistoryRows.h"

#include <algorithm>

#include "framework/Format.h"

namespace zp {

std::vector<HistoryRun> RunsWith(const std::vector<HistoryRun>& runs, const RunSettings& settings) {
  std::vector<HistoryRun> with;
  std::copy_if(runs.begin(), runs.end(), std::back_inserter(with),
               [&](const HistoryRun& run) { return SameSettings(run.settings, settings); });
  return with;
}

std::string SettingsText(const RunSettings& settings) {
  return settings.server + Format(":%X ", static_cast<unsigned>(settings.port)) + settings.route_code;
}

std::string FailedRoutesText(const HistoryRun& run) {
  std::string failed;
  for (const std::string& name : run.FailedRoutes()) failed += (failed.empty() ? "" : ", ") + name;
  if (!run.stopped) return failed.empty() ? "none" : failed;
  // "none" would read as a clean run: a stop leaves the rest unknown.
  const auto unscored = std::count_if(run.routes.begin(), run.routes.end(),
                                      [](const HistoryRoute& r) { return !r.HasScore(); });
  std::string text = failed.empty() ? "stopped" : failed + "; stopped";
  if (run.routes.empty()) return text + " before the route list";
  if (unscored > 0) text += Format(", %d of %zu routes not scored", static_cast<int>(unscored), run.routes.size());
  return text;
}

}  // namespace zp
