#include "cli/JsonReport.h"

#include <nlohmann/json.hpp>

#include "client/ConnectionChoice.h"

namespace zp {

std::string JsonReport(const ConsoleOutcome& out) {
  const RunSnapshot& run = out.run;
  nlohmann::json doc;
  doc["result_code"] = run.result_code;
  doc["banner"] = BannerWord(run.result_code);
  doc["server"] = run.settings.server;
  doc["port"] = run.settings.port;
  doc["route_code"] = run.settings.route_code;
  doc["start_time"] = StartTimeText(run);
  doc["elapsed_seconds"] = run.elapsed_seconds;
  doc["end_state"] = out.end_state;
  doc["timed_out"] = out.TimedOut();
  doc["stopped"] = run.stopped;
  doc["routes"] = nlohmann::json::array();
  for (const RouteResult& r : run.routes) {
    doc["routes"].push_back({{"route", r.entry},
                             {"score", r.score},
                             {"failed", r.failed},
                             {"outcome", RouteOutcomeName(r.outcome)},
                             {"detail", r.detail}});
  }
  // Texts from the network may hold any byte: replace what is not UTF-8 rather than fail.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace zp
