#include "run/ProgressText.h"

#include <algorithm>
#include <cmath>

#include "framework/Format.h"
#include "run/RunConstants.h"

namespace zp {

namespace {

// Shorter waits pass before a person could read a countdown.
constexpr std::int64_t kCountedWaitMs = 2000;

const char* WaitWhat(WaitKind kind) {
  switch (kind) {
    case WaitKind::RouteServerAnswer: return "waiting for the route server's answer";
    case WaitKind::RouteRetry: return "waiting to ask the route servers again";
    case WaitKind::Connect: return "connecting";
    case WaitKind::LoginReply: return "waiting for the login reply";
    case WaitKind::Heartbeat: return "waiting for the heartbeat";
    case WaitKind::PublicKey: return "waiting for the public key";
    case WaitKind::None: break;
  }
  return "";
}

int SecondsUp(std::int64_t ms) { return static_cast<int>((ms + 999) / 1000); }

// The pause before the next round, when the worker says how long is left of it or the
// phase's age tells.
std::string RetryText(const RunSnapshot& run, double phase_seconds) {
  // After the last round the wait ends the test instead of asking again.
  const bool last = run.discovery_rounds >= kRouteRounds;
  const int left = run.wait.kind == WaitKind::RouteRetry
                       ? SecondsUp(run.wait.left_ms)
                       : static_cast<int>(std::ceil(kRouteRetrySeconds - phase_seconds));
  if (left < 1) return last ? "No routes: ending the test" : "No routes: asking again";
  return Format(last ? "No routes: ending the test in %d s" : "No routes: asking again in %d s", left);
}

std::string WithWait(std::string phase, const RunWait& wait) {
  const std::string waiting = WaitText(wait);
  return waiting.empty() ? phase : phase + ": " + waiting;
}

}  // namespace

std::string WaitText(const RunWait& wait) {
  if (wait.kind == WaitKind::None || wait.kind == WaitKind::RouteRetry) return {};
  std::string text = WaitWhat(wait.kind);
  if (wait.total_ms == 0) {
    // No limit of ours: how long it has taken so far, once that is worth saying.
    if (wait.waited_ms <= kCountedWaitMs) return {};
    text += Format(" \u2014 %d s so far", static_cast<int>(wait.waited_ms / 1000));
  } else {
    if (wait.total_ms <= kCountedWaitMs) return {};
    text += Format(" \u2014 %d s left", SecondsUp(std::max<std::int64_t>(wait.left_ms, 0)));
  }
  if (wait.attempts > 1) text += Format(", attempt %d of %d", wait.attempt, wait.attempts);
  return text;
}

std::string ProgressText(const RunSnapshot& run, double phase_seconds) {
  switch (run.phase) {
    case RunPhase::Starting:
      return "Starting";
    case RunPhase::DiscoveringRoutes:
      return WithWait("Fetching the route list", run.wait);
    case RunPhase::WaitingForRoutes:
      return RetryText(run, phase_seconds);
    case RunPhase::ProfilingRoutes: {
      if (run.current_route <= 0) return WithWait("Fetching the route list", run.wait);
      if (run.RouteCount() >= run.current_route)
        return WithWait(Format("Profiling route %d of %d", run.current_route, run.RouteCount()), run.wait);
      return WithWait(Format("Profiling route %d", run.current_route), run.wait);
    }
    case RunPhase::SynchronizingKey:
      return WithWait("Fetching the public key", run.wait);
    case RunPhase::Finished:
      return "Finished";
  }
  return {};
}

}  // namespace zp
