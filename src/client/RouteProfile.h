#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "client/CircuitSteps.h"
#include "client/Countdown.h"
#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "protocol/ProbeExpBuf.h"
#include "run/RunRecord.h"

namespace zp {

// What one route's profile came to.
struct RouteProfileResult {
  // NotTried when a stop came before its first step; Stopped when a stop cut it short.
  RouteOutcome outcome = RouteOutcome::NotTried;
  RouteStep step = RouteStep::None;  // the last step begun
  std::int32_t score = 0;            // records the heartbeat reported missing; all of them on a failure
  std::string detail;                // the failure's own text
  int error = 0;                     // the socket error of a connect or send that failed
  double seconds = 0;                // from the connect to the end
};

// The profile of one route: connect, log in, send the detail records, take the heartbeat
// that reports on them, log out. Made for one route, run once; its steps and waits go to
// the run record as they happen.
class ZRouteProfile {
 public:
  // The numbers are those the exchange's trace has always used for its states.
  enum class State { kConnect = 0, kTxLogin = 1, kRxLogin = 2, kTxDetail = 3, kRxHeartbeat = 4, kTxLogout = 7,
                     kComplete = 40, kExit = 99, kDone = -1 };

  // Route `index` of the record, whose entry is `entry`. Everything given must outlive it.
  ZRouteProfile(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                const ExchangeSettings& settings, std::size_t index, std::string entry);

  // Runs the profile to its end or to a stop, and frees the socket.
  RouteProfileResult Run();

  static const char* StateName(State state);

 private:
  void BeginStep(RouteStep step);
  void Enter(State state);
  void Connect();
  void TxLogin();
  void RxLogin();
  void TxDetail();
  int EncodeDetail(std::int32_t sequence);
  void RxHeartbeat();
  void TxLogout();
  void Fail(RouteOutcome outcome, const std::string& text);
  RouteProfileResult Result() const;

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  ZCircuitSteps& FSteps;
  const ExchangeSettings& FSettings;
  const std::size_t FIndex;
  const std::string FEntry;
  const std::string FPayload;  // the data part of every detail record
  ZCountdown FCountdown;

  State FState = State::kConnect;
  RouteStep FStep = RouteStep::None;
  std::int32_t FScore;
  std::string FName;
  std::string FAddress;
  std::string FFinalText;
  std::uint32_t FStartTick;
  std::uint32_t FDeadline = 0;  // of the last login's reply; the heartbeat must come within it too
  std::int32_t FLoginSequence = 0;
  std::int32_t FCircuitNumber = 0;
  int FRetries = 0;  // logins that went unanswered
  bool FSkipped = false;  // the entry cannot be connected to
  RouteOutcome FOutcome = RouteOutcome::NotTried;
  std::string FDetail;
  int FError = 0;
  ZExpBuf FPacket;
  std::vector<std::uint8_t> FBytes;
};

}  // namespace zp
