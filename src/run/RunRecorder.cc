#include "run/RunRecorder.h"

#include <algorithm>
#include <utility>

#include "platform/Tick.h"
#include "run/NameTable.h"
#include "run/RouteEntry.h"

namespace zp {

void RunRecorder::Begin(const RunSettings& settings, const std::string& worker_name) {
  std::lock_guard lock(FLock);
  FRecord = RunSnapshot();
  FRecord.settings = settings;
  FRecord.worker_name = worker_name;
  FRecord.start_time = std::chrono::system_clock::now();
  FStart = std::chrono::steady_clock::now();
}

void RunRecorder::SetStarted() {
  std::lock_guard lock(FLock);
  FRecord.started = true;
}

void RunRecorder::SetPhase(RunPhase phase) {
  std::lock_guard lock(FLock);
  if (FRecord.phase != RunPhase::Finished) FRecord.phase = phase;
}

void RunRecorder::BeginDiscoveryRound() {
  std::lock_guard lock(FLock);
  ++FRecord.discovery_rounds;
  FRecord.current_route = 0;
  FRecord.phase = RunPhase::DiscoveringRoutes;
}

void RunRecorder::AddServer(const ServerResult& server) {
  std::lock_guard lock(FLock);
  FRecord.servers.push_back(server);
}

void RunRecorder::SetRoutes(const RouteList& routes) {
  std::lock_guard lock(FLock);
  FRecord.routes.clear();
  for (const RouteEntry& r : routes) {
    const RouteEntryParts parts = SplitRouteEntry(r.text);
    RouteResult result;
    result.entry = r.text;
    result.name = parts.name;
    result.address = parts.address;
    result.port = parts.port;
    result.score = r.score;
    FRecord.routes.push_back(std::move(result));
  }
}

void RunRecorder::BeginRoute(std::size_t index) {
  std::lock_guard lock(FLock);
  FRecord.phase = RunPhase::ProfilingRoutes;
  FRecord.current_route = static_cast<int>(index) + 1;
}

void RunRecorder::SetRouteStep(std::size_t index, RouteStep step) {
  std::lock_guard lock(FLock);
  if (index < FRecord.routes.size()) FRecord.routes[index].step = step;
}

void RunRecorder::EndRoute(std::size_t index, RouteOutcome outcome, std::int32_t score, bool failed, double seconds,
                           const std::string& detail, int error) {
  std::lock_guard lock(FLock);
  if (index >= FRecord.routes.size()) return;
  RouteResult& r = FRecord.routes[index];
  r.outcome = outcome;
  r.score = score;
  r.failed = failed;
  r.profile_seconds = seconds;
  r.detail = detail;
  r.error = error;
}

void RunRecorder::BeginKeyAttempt(const std::string& route) {
  std::lock_guard lock(FLock);
  FRecord.phase = RunPhase::SynchronizingKey;
  FRecord.key.route = route;
  ++FRecord.key.attempts;
}

void RunRecorder::EndKey(KeyOutcome outcome, int bytes, double seconds, const std::string& detail) {
  std::lock_guard lock(FLock);
  FRecord.key.outcome = outcome;
  FRecord.key.bytes = bytes;
  FRecord.key.seconds = seconds;
  FRecord.key.detail = detail;
}

void RunRecorder::BeginWait(WaitKind kind, const std::string& target, std::uint32_t total_ms, int attempt,
                            int attempts) {
  std::lock_guard lock(FLock);
  FRecord.wait = {kind, target, total_ms, total_ms, 0, attempt, attempts};
  FWaitStart = GetTickCount();
}

void RunRecorder::EndWait() {
  std::lock_guard lock(FLock);
  FRecord.wait = RunWait();
}

void RunRecorder::SetFatalError(const std::string& text) {
  std::lock_guard lock(FLock);
  FRecord.fatal_error = text;
}

void RunRecorder::NoteStop(const std::string& state_name) {
  std::lock_guard lock(FLock);
  if (FRecord.stop_state.empty()) FRecord.stop_state = state_name;
}

void RunRecorder::Finish(bool stopped) {
  std::lock_guard lock(FLock);
  if (FRecord.finished) return;
  FRecord.finished = true;
  FRecord.stopped = stopped;
  FRecord.phase = RunPhase::Finished;
  FRecord.wait = RunWait();  // an ended worker waits for nothing
  FEnd = std::chrono::steady_clock::now();
}

RunSnapshot RunRecorder::Snapshot() const {
  std::lock_guard lock(FLock);
  RunSnapshot copy = FRecord;
  const auto end = FRecord.finished ? FEnd : std::chrono::steady_clock::now();
  copy.elapsed_seconds = std::chrono::duration<double>(end - FStart).count();
  if (copy.wait.kind != WaitKind::None) {
    // On the tick the worker's waits are measured on, so that a test's time scale applies.
    copy.wait.waited_ms = GetTickCount() - FWaitStart;
    copy.wait.left_ms = std::max<std::int64_t>(0, std::int64_t{copy.wait.total_ms} - copy.wait.waited_ms);
  }
  return copy;
}

int RunSnapshot::FailedRoutes() const {
  return static_cast<int>(std::count_if(routes.begin(), routes.end(), [](const RouteResult& r) { return r.failed; }));
}


// The names are the codes of the JSON report: stable, lower case, with underscores.
constexpr std::pair<RunPhase, const char*> kPhaseNames[] = {
    {RunPhase::Starting, "starting"},
    {RunPhase::DiscoveringRoutes, "discovering_routes"},
    {RunPhase::WaitingForRoutes, "waiting_for_routes"},
    {RunPhase::ProfilingRoutes, "profiling_routes"},
    {RunPhase::SynchronizingKey, "synchronizing_key"},
    {RunPhase::Finished, "finished"}};
constexpr std::pair<RouteOutcome, const char*> kRouteOutcomeNames[] = {
    {RouteOutcome::NotTried, "not_tried"},         {RouteOutcome::Stopped, "stopped"},
    {RouteOutcome::Scored, "scored"},
    {RouteOutcome::ConnectFailed, "connect_failed"}, {RouteOutcome::LoginRefused, "login_refused"},
    {RouteOutcome::NoLoginAnswer, "no_login_answer"}, {RouteOutcome::NoHeartbeat, "no_heartbeat"},
    {RouteOutcome::ConnectionLost, "connection_lost"}};
constexpr std::pair<ServerOutcome, const char*> kServerOutcomeNames[] = {
    {ServerOutcome::Answered, "answered"}, {ServerOutcome::NotOk, "not_ok"}, {ServerOutcome::NoAnswer, "no_answer"},
    {ServerOutcome::ConnectFailed, "connect_failed"}, {ServerOutcome::SendFailed, "send_failed"},
    {ServerOutcome::LookupFailed, "lookup_failed"}, {ServerOutcome::Stopped, "stopped"}};
constexpr std::pair<KeyOutcome, const char*> kKeyOutcomeNames[] = {
    {KeyOutcome::NotReached, "not_reached"}, {KeyOutcome::Received, "received"}, {KeyOutcome::Failed, "failed"}};

const char* PhaseName(RunPhase phase) { return NameIn(kPhaseNames, phase, "unknown"); }
const char* RouteOutcomeName(RouteOutcome outcome) { return NameIn(kRouteOutcomeNames, outcome, "unknown"); }
const char* ServerOutcomeName(ServerOutcome outcome) { return NameIn(kServerOutcomeNames, outcome, "unknown"); }
const char* KeyOutcomeName(KeyOutcome outcome) { return NameIn(kKeyOutcomeNames, outcome, "unknown"); }

}  // namespace zp
