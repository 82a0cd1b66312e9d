#pragma once
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

namespace zp {

// The recorded runs as every table of them says them: the History windows' tables and the
// report's. Texts are as recorded (names from the network unescaped), for the front end
// to escape.

// The runs with `settings`, in their order.
std::vector<HistoryRun> RunsWith(const std::vector<HistoryRun>& runs, const RunSettings& settings);

// "127.0.0.1:6900 A": the route servers, the port as the operator types it (hexadecimal)
// and the route code.
std::string SettingsText(const RunSettings& settings);

// The failed routes' names ("r2, r3", or "none"). A stopped run says so rather than
// "none", with the routes the stop left without a score: "r2; stopped, 2 of 3 routes not
// scored".
std::string FailedRoutesText(const HistoryRun& run);

}  // namespace zp
