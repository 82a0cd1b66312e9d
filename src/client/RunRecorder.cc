#include "client/RunRecorder.h"

#include <algorithm>

#include "client/RouteEntry.h"

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

void RunRecorder::EndRoute(std::size_t index, RouteOutcome outcome, std::int32_t score, bool failed, double seconds,
                           const std::string& detail) {
  std::lock_guard lock(FLock);
  if (index >= FRecord.routes.size()) return;
  RouteResult& r = FRecord.routes[index];
  r.outcome = outcome;
  r.score = score;
  r.failed = failed;
  r.profile_seconds = seconds;
  r.detail = detail;
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
  FEnd = std::chrono::steady_clock::now();
}

RunSnapshot RunRecorder::Snapshot() const {
  std::lock_guard lock(FLock);
  RunSnapshot copy = FRecord;
  const auto end = FRecord.finished ? FEnd : std::chrono::steady_clock::now();
  copy.elapsed_seconds = std::chrono::duration<double>(end - FStart).count();
  return copy;
}

int RunSnapshot::FailedRoutes() const {
  return static_cast<int>(std::count_if(routes.begin(), routes.end(), [](const RouteResult& r) { return r.failed; }));
}

const char* PhaseName(RunPhase phase) {
  switch (phase) {
    case RunPhase::Starting: return "starting";
    case RunPhase::DiscoveringRoutes: return "discovering_routes";
    case RunPhase::WaitingForRoutes: return "waiting_for_routes";
    case RunPhase::ProfilingRoutes: return "profiling_routes";
    case RunPhase::SynchronizingKey: return "synchronizing_key";
    case RunPhase::Finished: return "finished";
  }
  return "unknown";
}

const char* RouteOutcomeName(RouteOutcome outcome) {
  switch (outcome) {
    case RouteOutcome::NotTried: return "not_tried";
    case RouteOutcome::Scored: return "scored";
    case RouteOutcome::ConnectFailed: return "connect_failed";
    case RouteOutcome::LoginRefused: return "login_refused";
    case RouteOutcome::NoLoginAnswer: return "no_login_answer";
    case RouteOutcome::NoHeartbeat: return "no_heartbeat";
    case RouteOutcome::ConnectionLost: return "connection_lost";
  }
  return "unknown";
}

const char* ServerOutcomeName(ServerOutcome outcome) {
  switch (outcome) {
    case ServerOutcome::Answered: return "answered";
    case ServerOutcome::NotOk: return "not_ok";
    case ServerOutcome::NoAnswer: return "no_answer";
    case ServerOutcome::ConnectFailed: return "connect_failed";
    case ServerOutcome::SendFailed: return "send_failed";
    case ServerOutcome::LookupFailed: return "lookup_failed";
    case ServerOutcome::Stopped: return "stopped";
  }
  return "unknown";
}

const char* KeyOutcomeName(KeyOutcome outcome) {
  switch (outcome) {
    case KeyOutcome::NotReached: return "not_reached";
    case KeyOutcome::Received: return "received";
    case KeyOutcome::Failed: return "failed";
  }
  return "unknown";
}

}  // namespace zp
