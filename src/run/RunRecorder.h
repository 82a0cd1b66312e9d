#pragma once
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "run/RouteList.h"
#include "run/RunRecord.h"

namespace zp {

// The run record as the worker fills it in: every call may come from the worker thread
// while any other thread takes snapshots.
class RunRecorder {
 public:
  // Starts the record over: settings, start time now, phase Starting.
  void Begin(const RunSettings& settings, const std::string& worker_name);
  void SetStarted();
  void SetPhase(RunPhase phase);
  void BeginDiscoveryRound();
  void AddServer(const ServerResult& server);
  // The route list as discovery left it: every route not yet tried, with its score.
  void SetRoutes(const RouteList& routes);
  // Profiling begins on route `index` (from 0).
  void BeginRoute(std::size_t index);
  // The route being profiled began `step`.
  void SetRouteStep(std::size_t index, RouteStep step);
  void EndRoute(std::size_t index, RouteOutcome outcome, std::int32_t score, bool failed, double seconds,
                const std::string& detail, int error = 0);
  void BeginKeyAttempt(const std::string& route);
  void EndKey(KeyOutcome outcome, int bytes, double seconds, const std::string& detail);
  // A wait of `total_ms` (0: no limit of ours) on `target` begins now, on the platform's
  // tick; it replaces any wait before it. EndWait clears it.
  void BeginWait(WaitKind kind, const std::string& target, std::uint32_t total_ms, int attempt = 0,
                 int attempts = 0);
  void EndWait();
  void SetFatalError(const std::string& text);
  // A stop was asked for while the worker was in `state_name`.
  void NoteStop(const std::string& state_name);
  // The worker has halted or ended; `stopped` when a stop was asked for before it halted.
  void Finish(bool stopped);

  RunSnapshot Snapshot() const;

 private:
  mutable std::mutex FLock;
  RunSnapshot FRecord;
  std::uint32_t FWaitStart = 0;  // the platform tick when the current wait began
  std::chrono::steady_clock::time_point FStart = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point FEnd;
};

}  // namespace zp
