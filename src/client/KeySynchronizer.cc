#include "client/KeySynchronizer.h"

#include "client/Countdown.h"
#include "client/KeyAttempt.h"
#include "framework/Conversions.h"
#include "framework/Format.h"
#include "run/RunRecorder.h"

namespace zp {

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
  std::size_t skipped = 0;  // routes skipped in a row for want of an address
  while (!FHost.StopRequested()) {
    const std::string& entry = routes[index].text;
    const ZKeyAttempt::Result attempt = ZKeyAttempt(FHost, FConnection, FSteps, countdown, carry, index, entry).Run();
    if (attempt.connected) last_sync_route = entry;
    if (FHost.StopRequested()) break;
    State next = attempt.next;
    if (!attempt.no_address) {
      skipped = 0;
    } else if (++skipped >= routes.size()) {
      // A ring without any address ends rather than circle.
      FHost.Trace(carry.final_text);
      carry.final_text = "No route has an address";
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
