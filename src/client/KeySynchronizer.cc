#include "client/KeySynchronizer.h"

#include "client/Countdown.h"
#include "client/KeyAttempt.h"
#include "framework/Conversions.h"
#include "framework/Format.h"
#include "run/RunRecorder.h"

namespace zp {

namespace {

// Each route of the ring is tried at most this many times; then the test ends without the
// key. One pass is not enough: a gateway that is restarting, or a route busy for a moment,
// refuses one connect and takes the next, and the passes over the other routes put time
// between two tries of one route. Three is as many as a route is sent the login while it is
// profiled. Beyond that a dead gateway would keep the test circling, connect after connect,
// until its time-out and leave no result; now it ends in seconds with the reason.
constexpr int kKeyTriesPerRoute = 3;

}  // namespace

ZKeySynchronizer::ZKeySynchronizer(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps)
    : FHost(host), FConnection(connection), FSteps(steps) {}

void ZKeySynchronizer::SynchronizeKeys(const RouteList& routes, std::string& last_sync_route) {
  using State = ZKeyAttempt::State;
  if (routes.empty()) return;
  std::size_t index = 0;
  for (std::size_t i = 0; i < routes.size(); ++i) {
    if (SameTextIgnoringCase(routes[i].text, last_sync_route)) {
      index = (i + 1) % routes.size();
      break;
    }
  }
  ZCountdown countdown(FHost);
  KeyRingCarry carry;
  std::size_t skipped = 0;  // routes skipped in a row, having nothing to connect to
  std::size_t tries = 0;    // attempts on every route together; the ring takes them in turn
  const std::size_t most_tries = routes.size() * kKeyTriesPerRoute;
  while (!FHost.StopRequested()) {
    const std::string& entry = routes[index].text;
    const ZKeyAttempt::Result attempt = ZKeyAttempt(FHost, FConnection, FSteps, countdown, carry, index, entry).Run();
    if (attempt.connected) last_sync_route = entry;
    if (FHost.StopRequested()) break;
    State next = attempt.next;
    ++tries;
    if (!attempt.skipped) {
      skipped = 0;
    } else if (++skipped >= routes.size()) {
      // A ring without anything to connect to ends rather than circle.
      FHost.Trace(carry.final_text);
      carry.final_text = "No route has an address and a port to connect to";
      next = State::kError;
    }
    if (next == State::kNextRoute && tries >= most_tries) {
      FHost.Trace(carry.final_text);
      // A refused connect leaves no final text: its socket error says what happened.
      const std::string last = attempt.failure.empty() ? carry.final_text : attempt.failure;
      carry.final_text = Format("Tried each route %d times", kKeyTriesPerRoute);
      if (!last.empty()) carry.final_text += " - the last, " + carry.name + ": " + last;
      next = State::kError;
    }
    // The ring's own pass, as the attempt's passes: a pause and the countdown line.
    FHost.Pause(ZCircuitSteps::kStepPauseMs);
    countdown.Show(carry.Who(index), ZKeyAttempt::StateName(next));
    if (next == State::kNextRoute) {
      FHost.Trace(carry.final_text);
      index = (index + 1) % routes.size();
      continue;
    }
    TraceRouteLines(routes);
    if (next != State::kComplete) FHost.Trace(carry.final_text);
    FHost.SetStatusText(carry.final_text);
    const bool received = next == State::kComplete || attempt.key_bytes > 0;
    FHost.Record().EndKey(received ? KeyOutcome::Received : KeyOutcome::Failed, attempt.key_bytes,
                          attempt.key_seconds, received ? "" : carry.final_text);
    break;
  }
  FConnection.FreeSocket();
}

void ZKeySynchronizer::TraceRouteLines(const RouteList& routes) {
  for (std::size_t i = 0; i < routes.size(); ++i)
    FHost.Trace(Format("Route %2d %s Score(%d)", static_cast<int>(i + 1), routes[i].text.c_str(), routes[i].score));
}

}  // namespace zp
