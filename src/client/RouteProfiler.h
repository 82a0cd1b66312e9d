#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "client/CircuitSteps.h"
#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "run/RouteList.h"
#include "run/RunRecord.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

// Route profiling: every route is connected, logged in, sent the detail records, scored
// from the heartbeat that reports on them, and logged out.
class ZRouteProfiler {
 public:
  // The numbers are those the exchange's trace has always used for its states.
  enum class ProfileState { kConnect = 0, kTxLogin = 1, kRxLogin = 2, kTxDetail = 3, kRxHeartbeat = 4,
                            kTxLogout = 7, kComplete = 40, kExit = 99, kDone = -1 };

  ZRouteProfiler(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                 const ExchangeSettings& settings);

  // Profiles every route in order and sets each score; sets the result code to 2 for a
  // failed route and to 0 when all of them failed.
  void ProfileRoutes(RouteList& routes);
  // One route's profile: its score, FDetailRecords when it failed.
  std::int32_t ProfileRoute(const std::string& entry_text);

  static const char* StateName(ProfileState state);

 private:
  void Connect(const std::string& entry_text);
  void TxLogin();
  void RxLogin();
  void TxDetail();
  void RxHeartbeat(const std::string& entry_text);
  void TxLogout();
  void Fail(RouteOutcome outcome, const std::string& text);

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  ZCircuitSteps& FSteps;
  const ExchangeSettings& FSettings;

  // The profile under way.
  ProfileState FState = ProfileState::kConnect;
  std::string FPayload;
  std::int32_t FScore = 0;
  std::string FName;
  std::string FAddress;
  std::string FFinalText;
  std::uint32_t FStartTick = 0;
  std::uint32_t FDeadline = 0;
  std::int32_t FLoginSequence = 0;
  std::int32_t FCircuitNumber = 0;
  int FRetries = 0;
  RouteOutcome FOutcome = RouteOutcome::NotTried;
  std::string FDetail;
  int FError = 0;
  ZExpBuf FPacket;
  std::vector<std::uint8_t> FBytes;
};

}  // namespace zp
