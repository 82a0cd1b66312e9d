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

// Key synchronisation: on the routes in a ring, log in, ask for the gateway's public key
// while keeping the circuit alive with heartbeats, check the answer and log out.
class ZKeySynchronizer {
 public:
  enum class SyncState { kConnect = 0, kTxLogin = 1, kRxLogin = 2, kTxPublic = 3, kRxPublic = 4, kTxKeyPage = 5,
                         kRxKeyPage = 6, kTxLogout = 7, kNextRoute = 22, kComplete = 40, kError = 80, kExit = 99,
                         kDone = -1 };

  ZKeySynchronizer(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                   const ExchangeSettings& settings);

  // Runs over `routes` from the one after `last_sync_route` until a key arrives, a route
  // refuses, or an error ends it; `last_sync_route` becomes the route last connected.
  void SynchronizeKeys(const RouteList& routes, std::string& last_sync_route);

  static const char* StateName(SyncState state);

 private:
  void Connect();
  void TxLogin();
  void RxLogin();
  void TxPublic();
  void RxPublic();
  void TakeKeyReply();
  void TxKeyPage();
  void BuildKeyRequest();
  void TraceRouteLines();
  void Finish(KeyOutcome outcome);

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  ZCircuitSteps& FSteps;
  const ExchangeSettings& FSettings;

  // The synchronisation under way.
  const RouteList* FRoutes = nullptr;
  std::string* FLastSyncRoute = nullptr;
  SyncState FState = SyncState::kConnect;
  std::size_t FIndex = 0;
  std::size_t FSkipped = 0;  // routes skipped in a row for want of an address
  int FRepeats = 0;          // key requests repeated on this connection
  std::string FFinalText;
  std::string FName;
  std::string FAddress;
  std::int32_t FLoginSequence = 0;
  std::string FDataCenterId;
  std::int32_t FCircuitNumber = 0;
  std::uint32_t FLoginDeadline = 0;
  std::uint32_t FKeyDeadline = 0;
  std::uint32_t FNextHeartbeat = 0;
  std::uint32_t FHeartbeatDeadline = 0;
  std::uint32_t FRequestTime = 0;
  int FKeyBytes = 0;
  double FKeySeconds = 0;
  ZExpBuf FPacket;
  std::vector<std::uint8_t> FBytes;
};

}  // namespace zp
