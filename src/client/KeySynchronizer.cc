#include "client/KeySynchronizer.h"

#include <strings.h>

#include "apibuf/ApiBuf.h"
#include "run/RouteEntry.h"
#include "run/NameTable.h"
#include "run/RunRecorder.h"
#include "framework/Format.h"
#include "platform/Tick.h"

namespace zp {

namespace {

constexpr std::uint32_t kHeartbeatPeriodMs = 2000;
constexpr std::uint32_t kHeartbeatSilenceMs = 4000;
constexpr std::size_t kMinimumKeyLength = 100;
constexpr long kStepPauseMs = 50;
constexpr int kMaxRequestRepeats = 10;  // per connection to a route
constexpr char kPublicKeyRequestData[] = "$0C0";

bool Passed(const ExchangeHost& host, std::uint32_t deadline) { return TickPassed(host.Now(), deadline); }

}  // namespace

ZKeySynchronizer::ZKeySynchronizer(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                                   const ExchangeSettings& settings)
    : FHost(host), FConnection(connection), FSteps(steps), FSettings(settings) {}

void ZKeySynchronizer::SynchronizeKeys(const RouteList& routes, std::string& last_sync_route) {
  if (routes.empty()) return;
  FRoutes = &routes;
  FLastSyncRoute = &last_sync_route;
  FSteps.StartCountdown();
  FIndex = 0;
  FSkipped = 0;
  for (std::size_t i = 0; i < routes.size(); ++i) {
    if (strcasecmp(routes[i].text.c_str(), last_sync_route.c_str()) == 0) {
      FIndex = i + 1 < routes.size() ? i + 1 : 0;
      break;
    }
  }
  FFinalText.clear();
  FName.clear();
  FAddress.clear();
  FLoginSequence = 0;
  FDataCenterId.clear();
  FCircuitNumber = 0;
  FLoginDeadline = FKeyDeadline = FNextHeartbeat = FHeartbeatDeadline = FRequestTime = 0;
  FKeyBytes = 0;
  FKeySeconds = 0;
  FPacket = ZExpBuf();
  FBytes.assign(ZExpBuf::MaxPacketLength, 0);
  FState = SyncState::kConnect;

  while (!FHost.StopRequested() && FState != SyncState::kDone) {
    FHost.Pause(kStepPauseMs);
    FSteps.ShowCountdown(Format("%s %d:%s", FName.c_str(), static_cast<int>(FIndex), FAddress.c_str()),
                         StateName(FState));
    switch (FState) {
      case SyncState::kConnect: Connect(); break;
      case SyncState::kTxLogin: TxLogin(); break;
      case SyncState::kRxLogin: RxLogin(); break;
      case SyncState::kTxPublic: TxPublic(); break;
      case SyncState::kRxPublic: RxPublic(); break;
      case SyncState::kTxKeyPage: TxKeyPage(); break;
      case SyncState::kNextRoute:
        FHost.Trace(FFinalText);
        FIndex = FIndex + 1 < routes.size() ? FIndex + 1 : 0;
        FState = SyncState::kConnect;
        break;
      case SyncState::kComplete:
        TraceRouteLines();
        FHost.SetStatusText(FFinalText);
        Finish(KeyOutcome::Received);
        break;
      case SyncState::kError:
      case SyncState::kExit:
        TraceRouteLines();
        FHost.Trace(FFinalText);
        FHost.SetStatusText(FFinalText);
        Finish(FKeyBytes > 0 ? KeyOutcome::Received : KeyOutcome::Failed);
        break;
      default:
        FState = SyncState::kError;
        break;
    }
  }
  FConnection.FreeSocket();
  FRoutes = nullptr;
  FLastSyncRoute = nullptr;
}

const char* ZKeySynchronizer::StateName(SyncState state) {
  using S = SyncState;
  static constexpr std::pair<S, const char*> kNames[] = {
      {S::kConnect, "Connect"},     {S::kTxLogin, "TxLogin"},     {S::kRxLogin, "RxLogin"},     {S::kTxPublic, "TxPublic"},
      {S::kRxPublic, "RxPublic"},   {S::kTxKeyPage, "TxKeyPage"}, {S::kRxKeyPage, "RxKeyPage"}, {S::kTxLogout, "TxLogout"},
      {S::kNextRoute, "NextRoute"}, {S::kComplete, "Complete"},   {S::kError, "Error"},         {S::kExit, "Exit"}};
  return NameIn(kNames, state, "Invalid");
}

void ZKeySynchronizer::Finish(KeyOutcome outcome) {
  FHost.Record().EndKey(outcome, FKeyBytes, FKeySeconds, outcome == KeyOutcome::Received ? "" : FFinalText);
  FState = SyncState::kDone;
}

void ZKeySynchronizer::TraceRouteLines() {
  const RouteList& routes = *FRoutes;
  for (std::size_t i = 0; i < routes.size(); ++i)
    FHost.Trace(Format("Route %2d %s Score(%d)", static_cast<int>(i + 1), routes[i].text.c_str(), routes[i].score));
}

// The request carries whatever text part the object holds: that of the packet decoded or
// built last.
void ZKeySynchronizer::BuildKeyRequest() {
  FPacket.PacketType = 'P';
  FPacket.DataCenterId = FDataCenterId;
  FPacket.CircuitNumber = FCircuitNumber;
  FPacket.CircuitSequence = 1;
  FPacket.SetData(4, reinterpret_cast<const std::uint8_t*>(kPublicKeyRequestData));
}

void ZKeySynchronizer::Connect() {
  FName = "????";
  const std::string& entry = (*FRoutes)[FIndex].text;
  const RouteEntryParts parts = SplitRouteEntry(entry);
  FName = parts.name;
  FAddress = parts.address;
  FHost.Trace(Format("CurrentRoute(%d) %s %s", static_cast<int>(FIndex), FName.c_str(), parts.rest.c_str()));
  FHost.SetStatusText(Format("Synchronizing to %s %s", FName.c_str(), parts.rest.c_str()));
  if (!HasRouteAddress(parts)) {
    // Skipped like a refused route; a ring without any address ends rather than circle.
    FFinalText = NoAddressText(entry);
    FState = ++FSkipped >= FRoutes->size() ? SyncState::kError : SyncState::kNextRoute;
    if (FState == SyncState::kError) {
      FHost.Trace(FFinalText);
      FFinalText = "No route has an address";
    }
    return;
  }
  FSkipped = 0;
  FRepeats = 0;
  FHost.Record().BeginKeyAttempt(entry);
  std::string error;
  switch (FSteps.ConnectRoute(parts, FFinalText, error)) {
    case ZCircuitSteps::ConnectResult::Connected:
      *FLastSyncRoute = entry;
      FHost.WaitForEvent(ZGatewayConnection::kRetryPauseMs);
      FState = SyncState::kTxLogin;
      break;
    case ZCircuitSteps::ConnectResult::ConnectFailed:
      FState = SyncState::kNextRoute;
      break;
    default:  // no socket, or no notifications: nothing else can work either
      FState = SyncState::kError;
      break;
  }
}

void ZKeySynchronizer::TxLogin() {
  std::string error;
  FState = SyncState::kRxLogin;
  if (!FSteps.SendLogin(FPacket, FBytes, 'K', FLoginSequence, FLoginDeadline, error)) {
    FFinalText = "SendKeyPageLogin:  send() failed " + error;
    FState = SyncState::kNextRoute;
  }
}

void ZKeySynchronizer::RxLogin() {
  if (Passed(FHost, FLoginDeadline)) {
    FFinalText = "Timeout waiting for login response";
    FState = SyncState::kNextRoute;
    return;
  }
  const ZCircuitSteps::LoginReply reply = FSteps.ReceiveLogin(FPacket, FBytes, FFinalText);
  if (reply == ZCircuitSteps::LoginReply::Refused) {
    FState = SyncState::kExit;
  } else if (reply == ZCircuitSteps::LoginReply::Accepted) {
    FDataCenterId = FPacket.DataCenterId.Str();
    FCircuitNumber = FPacket.CircuitNumber;
    FState = SyncState::kTxPublic;
  }
}

void ZKeySynchronizer::TxPublic() {
  BuildKeyRequest();
  std::string error;
  if (FConnection.SendAndDump(FPacket, FBytes, error) == 0) {
    const std::uint32_t now = FHost.Now();
    FKeyDeadline = now + kPublicKeyWaitMs;
    FNextHeartbeat = now + kHeartbeatPeriodMs;
    FHeartbeatDeadline = now + kHeartbeatSilenceMs;
    FRequestTime = now;
    FHost.SetStatusText("Wait PublicKey");
    FState = SyncState::kRxPublic;
  } else {
    FFinalText = "SendPublicKey:  send() failed " + error;
    FState = SyncState::kNextRoute;
  }
}

void ZKeySynchronizer::RxPublic() {
  std::string error;
  if (Passed(FHost, FHeartbeatDeadline)) {
    FFinalText = "No heartbeats received during wait for public key response";
    FState = SyncState::kNextRoute;
    return;
  }
  if (Passed(FHost, FNextHeartbeat)) {
    FPacket.BuildHeartbeat(FLoginSequence, "1");
    FPacket.SetData(0, nullptr);
    if (FConnection.SendAndDump(FPacket, FBytes, error) == 0) {
      FNextHeartbeat = FHost.Now() + kHeartbeatPeriodMs;
    } else {
      FFinalText = "SendHeartbeat:  send() failed " + error;
      FState = SyncState::kNextRoute;
    }
    return;
  }
  if (Passed(FHost, FKeyDeadline)) {
    FFinalText = "Timeout waiting for public key response";
    FState = SyncState::kNextRoute;
    return;
  }
  if (!FConnection.TakePacket(FPacket, FBytes)) return;
  if (FPacket.PacketType == 'H') {
    FHeartbeatDeadline = FHost.Now() + kHeartbeatSilenceMs;
    const ZSequenceText heartbeat = FPacket.ParseSequenceText();
    if (heartbeat.FreeText.find('1') == std::string::npos) return;
    // A gateway that never confirms would otherwise hold the route for ever: each
    // repeat restarts the wait for the key.
    if (FRepeats >= kMaxRequestRepeats) {
      if (FRepeats++ == kMaxRequestRepeats)
        FHost.Trace(Format("PublicKey Request repeated %d times - not repeated again", kMaxRequestRepeats));
      return;
    }
    ++FRepeats;
    // The gateway has not confirmed the request yet: send it again.
    BuildKeyRequest();
    if (FConnection.SendAndDump(FPacket, FBytes, error, "Tx+", "ReTx") == 0) {
      FKeyDeadline = FHost.Now() + kPublicKeyWaitMs;
    } else {
      FFinalText = "SendHeartbeat:  send() failed " + error;
      FState = SyncState::kNextRoute;
    }
  } else if (FPacket.PacketType == 'P') {
    TakeKeyReply();
  }
}

void ZKeySynchronizer::TakeKeyReply() {
  const ZStatusReply reply = FPacket.ParseStatusReply();
  if (reply.Status != 0) {
    FFinalText = reply.StatusText;
    FState = SyncState::kExit;
    return;
  }
  const auto data = FPacket.DataView();
  TApiBuf record;
  record.ParseBytes(static_cast<std::int32_t>(data.size()), reinterpret_cast<const char*>(data.data()));
  if (record.ErrorIndicator == "Y") {
    FFinalText = record.ErrorText;
    FHost.SetStatusText(record.ErrorText);
    FState = SyncState::kError;
  } else if (record.S017_01.size() >= kMinimumKeyLength) {
    FKeySeconds = FSteps.SecondsSince(FRequestTime);
    FKeyBytes = static_cast<int>(data.size());
    FHost.SetStatusText(Format("PublicKey SUCCESS %d Bytes %3.2fsec", FKeyBytes, FKeySeconds));
    FHost.Trace(Format("PublicKey Request SUCCESS %d Bytes %3.2fsec", FKeyBytes, FKeySeconds));
    if (FHost.GetResultCode() != kResultSomeRoutesFailed) FHost.SetResultCode(kResultSuccess);
    FState = SyncState::kTxKeyPage;
  } else {
    FFinalText = "No (or invalid) publickey was returned";
    FState = SyncState::kError;
  }
}

void ZKeySynchronizer::TxKeyPage() {
  std::string error;
  if (FSteps.SendLogout(FPacket, FBytes, FLoginSequence, FDataCenterId, FCircuitNumber, error) == 0) {
    FState = SyncState::kComplete;
  } else {
    FFinalText = "SendCircuitLogout:  send() failed";
    FState = SyncState::kError;
  }
}

}  // namespace zp
