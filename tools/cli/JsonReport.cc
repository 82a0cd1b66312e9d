#include "cli/JsonReport.h"

#include <nlohmann/json.hpp>

#include "run/NextSteps.h"
#include "run/RunWords.h"

namespace zp {

namespace {

// The code of an outcome, as the metrics write it.
const char* Code(OutcomeKind kind) {
  const NextStepEntry* entry = EntryOf(kind);
  return entry != nullptr ? entry->code : "";
}

}  // namespace

std::string JsonReport(const ConsoleOutcome& out) {
  const RunSnapshot& run = out.run;
  nlohmann::json doc;
  doc["result_code"] = run.result_code;
  doc["banner"] = RunBannerWord(run);
  doc["exit_status"] = ExitStatus(out);
  doc["server"] = run.settings.server;
  doc["port"] = run.settings.port;
  doc["route_code"] = run.settings.route_code;
  doc["start_time"] = StartTimeText(run);
  doc["elapsed_seconds"] = run.elapsed_seconds;
  doc["end_state"] = out.end_state;
  doc["timed_out"] = out.TimedOut();
  doc["stopped"] = run.stopped;
  // A stopped run's record has moved on to "finished": the phase the stop found it in is
  // the one worth reading.
  doc["phase"] = PhaseName(out.Stopped() ? out.stopped_phase : run.phase);
  doc["outcome_code"] = Code(RunOutcomeOf(run));
  doc["route_list_outcome_code"] = run.routes.empty() ? Code(RouteListOutcomeOf(run)) : "";
  doc["route_list_next_step"] = RouteListNextStep(run);
  doc["every_route_failed"] = run.EveryRouteFailed();
  doc["routes"] = nlohmann::json::array();
  for (const RouteResult& r : run.routes) {
    doc["routes"].push_back({{"route", r.entry},
                             {"name", r.name},
                             {"address", r.address},
                             {"port", r.port},
                             // No number for a route without a score: null, with its outcome.
                             {"score", r.HasScore() ? nlohmann::json(r.score) : nlohmann::json(nullptr)},
                             {"failed", r.failed},
                             {"profile_seconds", r.profile_seconds},
                             {"outcome", RouteOutcomeName(r.outcome)},
                             {"outcome_code", Code(OutcomeOf(r, run.stopped))},
                             {"reason", RouteReason(r, run.stopped)},
                             {"next_step", NextStepOf(OutcomeOf(r, run.stopped))},
                             {"detail", r.detail}});
  }
  doc["servers"] = nlohmann::json::array();
  for (const ServerResult& s : run.servers) {
    doc["servers"].push_back({{"server", s.server},
                              {"address", s.address},
                              {"port", s.port},
                              {"outcome", ServerOutcomeName(s.outcome)},
                              {"outcome_code", Code(OutcomeOf(s))},
                              {"reason", ServerReason(s)},
                              {"next_step", NextStepOf(OutcomeOf(s))},
                              {"detail", s.detail},
                              {"routes", s.routes}});
  }
  doc["key"] = {{"outcome", KeyOutcomeName(run.key.outcome)},
                {"outcome_code", Code(OutcomeOf(run.key, run.stopped))},
                {"reason", KeyReason(run.key, run.stopped)},
                {"next_step", KeyNextStep(run)},
                {"route", run.key.route},
                {"bytes", run.key.bytes},
                {"seconds", run.key.seconds},
                {"attempts", run.key.attempts},
                {"detail", run.key.detail}};
  // Texts from the network may hold any byte: replace what is not UTF-8 rather than fail.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace zp
