#include "client/KeyAttempt.h"

#include <utility>

#include "apibuf/ApiBuf.h"
#include "framework/Format.h"
#include "platform/Tick.h"
#include "run/NameTable.h"
#include "run/RouteEntry.h"

namespace zp {

namespace {

constexpr std::uint32_t kHeartbeatPeriodMs = 2000;
constexpr std::uint32_t kHeartbeatSilenceMs = 4000;
constexpr std::size_t kMinimumKeyLength = 100;
constexpr char kPublicKeyRequestData[] = "$0C0";

}  // namespace

std::string KeyRingCarry::Who(std::size_t index) const {
  return Format("%s %d:%s", name.c_str(), static_cast<int>(index), address.c_str());
}

ZKeyAttempt::ZKeyAttempt(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                         ZCountdown& countdown, KeyRingCarry& carry, std::size_t index, std::string entry)
    : FHost(host),
      FConnection(connection),
      FSteps(steps),
      FCountdown(countdown),
      FCarry(carry),
      FPacket(carry.packet),
      FFinalText(carry.final_text),
      FIndex(index),
      FEntry(std::move(entry)),
      FBytes(ZExpBuf::MaxPacketLength, 0) {}

ZKeyAttempt::Result ZKeyAttempt::Run() {
  const auto ring_decides = [this] {
    return FState == State::kNextRoute || FState == State::kComplete || FState == State::kError ||
           FState == State::kExit;
  };
  while (!FHost.StopRequested() && !ring_decides()) {
    FHost.Pause(ZCircuitSteps::kStepPauseMs);
    FCountdown.Show(FCarry.Who(FIndex), StateName(FState));
    switch (FState) {
      case State::kConnect: Connect(); break;
      case State::kTxLogin: TxLogin(); break;
      case State::kRxLogin: RxLogin(); break;
      case State::kTxPublic: TxPublic(); break;
      case State::kRxPublic: RxPublic(); break;
      case State::kTxKeyPage: TxKeyPage(); break;
      default: FState = State::kError; break;
    }
  }
  FHost.ClearWait();
  FResult.next = FState;
  return FResult;
}

const char* ZKeyAttempt::StateName(State state) {
  using S = State;
  static constexpr std::pair<S, const char*> kNames[] = {
      {S::kConnect, "Connect"},     {S::kTxLogin, "TxLogin"},     {S::kRxLogin, "RxLogin"},     {S::kTxPublic, "TxPublic"},
      {S::kRxPublic, "RxPublic"},   {S::kTxKeyPage, "TxKeyPage"}, {S::kRxKeyPage, "RxKeyPage"}, {S::kTxLogout, "TxLogout"},
      {S::kNextRoute, "NextRoute"}, {S::kComplete, "Complete"},   {S::kError, "Error"},         {S::kExit, "Exit"}};
  return NameIn(kNames, state, "Invalid");
}

bool ZKeyAttempt::Passed(std::uint32_t deadline) const { return TickPassed(FHost.Now(), deadline); }

// The request carries whatever text part the object holds: that of the packet decoded or
// built last.
void ZKeyAttempt::BuildKeyRequest() {
  FPacket.PacketType = 'P';
  FPacket.DataCenterId = FDataCenterId;
  FPacket.CircuitNumber = FCircuitNumber;
  FPacket.CircuitSequence = 1;
  FPacket.SetData(4, reinterpret_cast<const std::uint8_t*>(kPublicKeyRequestData));
}

void ZKeyAttempt::Connect() {
  const RouteEntryParts parts = SplitRouteEntry(FEntry);
  FCarry.name = parts.name;
  FCarry.address = parts.address;
  FHost.Trace(Format("CurrentRoute(%d) %s %s", static_cast<int>(FIndex), parts.name.c_str(), parts.rest.c_str()));
  FHost.SetStatusText(Format("Synchronizing to %s %s", parts.name.c_str(), parts.rest.c_str()));
  if (CheckRouteEntry(parts) != RouteEntryFault::None) {
    // Skipped like a refused route (the ring ends rather than circle when no route can be
    // connected to).
    FFinalText = SkippedEntryText(FEntry, parts);
    FResult.skipped = true;
    FState = State::kNextRoute;
    return;
  }
  FHost.Record().BeginKeyAttempt(FEntry);
  std::string error;
  switch (FSteps.ConnectRoute(parts, FEntry, FFinalText, error)) {
    case ZCircuitSteps::ConnectResult::Connected:
      FResult.connected = true;
      FHost.WaitForEvent(ZGatewayConnection::kRetryPauseMs);
      FState = State::kTxLogin;
      break;
    case ZCircuitSteps::ConnectResult::ConnectFailed:
      FResult.failure = error;
      FState = State::kNextRoute;
      break;
    default:  // no socket, or no notifications: nothing else can work either
      FState = State::kError;
      break;
  }
}

void ZKeyAttempt::TxLogin() {
  std::string error;
  FState = State::kRxLogin;
  if (!FSteps.SendLogin(FPacket, FBytes, 'K', FLoginSequence, FLoginDeadline, error)) {
    FFinalText = "SendKeyPageLogin:  send() failed " + error;
    FState = State::kNextRoute;
    return;
  }
  // The key's login is sent once: its wait is not one of several.
  FHost.RecordWait(WaitKind::LoginReply, FEntry, kLoginReplyMs);
}

void ZKeyAttempt::RxLogin() {
  if (Passed(FLoginDeadline)) {
    FFinalText = "Timeout waiting for login response";
    FState = State::kNextRoute;
    return;
  }
  const ZCircuitSteps::LoginReply reply = FSteps.ReceiveLogin(FPacket, FBytes, FFinalText);
  if (reply == ZCircuitSteps::LoginReply::Refused) {
    FState = State::kExit;
  } else if (reply == ZCircuitSteps::LoginReply::Accepted) {
    FHost.ClearWait();
    FDataCenterId = FPacket.DataCenterId.Str();
    FCircuitNumber = FPacket.CircuitNumber;
    FState = State::kTxPublic;
  }
}

void ZKeyAttempt::TxPublic() {
  BuildKeyRequest();
  std::string error;
  if (FConnection.SendAndDump(FPacket, FBytes, error) == 0) {
    const std::uint32_t now = FHost.Now();
    FKeyDeadline = now + kPublicKeyWaitMs;
    FNextHeartbeat = now + kHeartbeatPeriodMs;
    FHeartbeatDeadline = now + kHeartbeatSilenceMs;
    FRequestTime = now;
    FHost.SetStatusText("Wait PublicKey");
    FHost.RecordWait(WaitKind::PublicKey, FEntry, kPublicKeyWaitMs);
    FState = State::kRxPublic;
  } else {
    FFinalText = "SendPublicKey:  send() failed " + error;
    FState = State::kNextRoute;
  }
}

void ZKeyAttempt::RxPublic() {
  std::string error;
  if (Passed(FHeartbeatDeadline)) {
    FFinalText = "No heartbeats received during wait for public key response";
    FState = State::kNextRoute;
    return;
  }
  if (Passed(FNextHeartbeat)) {
    FPacket.BuildHeartbeat(FLoginSequence, "1");
    FPacket.SetData(0, nullptr);
    if (FConnection.SendAndDump(FPacket, FBytes, error) == 0) {
      FNextHeartbeat = FHost.Now() + kHeartbeatPeriodMs;
    } else {
      FFinalText = "SendHeartbeat:  send() failed " + error;
      FState = State::kNextRoute;
    }
    return;
  }
  if (Passed(FKeyDeadline)) {
    FFinalText = "Timeout waiting for public key response";
    FState = State::kNextRoute;
    return;
  }
  if (!FConnection.TakePacket(FPacket, FBytes)) return;
  if (FPacket.PacketType == 'H') {
    TakeHeartbeat();
  } else if (FPacket.PacketType == 'P') {
    TakeKeyReply();
  }
}

void ZKeyAttempt::TakeHeartbeat() {
  FHeartbeatDeadline = FHost.Now() + kHeartbeatSilenceMs;
  const ZSequenceText heartbeat = FPacket.ParseSequenceText();
  if (heartbeat.FreeText.find('1') == std::string::npos) return;
  // The gateway has not confirmed the request yet: send it again, however often it asks.
  // Each repeat restarts the wait for the key, so such a route is left only when its
  // heartbeats stop; a stop or the console's time-out bounds the test meanwhile.
  BuildKeyRequest();
  std::string error;
  if (FConnection.SendAndDump(FPacket, FBytes, error, "Tx+", "ReTx") == 0) {
    FKeyDeadline = FHost.Now() + kPublicKeyWaitMs;
    FHost.RecordWait(WaitKind::PublicKey, FEntry, kPublicKeyWaitMs);
  } else {
    FFinalText = "SendHeartbeat:  send() failed " + error;
    FState = State::kNextRoute;
  }
}

void ZKeyAttempt::TakeKeyReply() {
  const ZStatusReply reply = FPacket.ParseStatusReply();
  if (reply.Status != 0) {
    FFinalText = reply.StatusText;
    FState = State::kExit;
    return;
  }
  const auto data = FPacket.DataView();
  TApiBuf record;
  record.ParseBytes(static_cast<std::int32_t>(data.size()), reinterpret_cast<const char*>(data.data()));
  if (record.ErrorIndicator == "Y") {
    FFinalText = record.ErrorText;
    FHost.SetStatusText(record.ErrorText);
    FState = State::kError;
  } else if (record.S017_01.size() >= kMinimumKeyLength) {
    FHost.ClearWait();
    FResult.key_seconds = FSteps.SecondsSince(FRequestTime);
    FResult.key_bytes = static_cast<int>(data.size());
    FHost.SetStatusText(Format("PublicKey SUCCESS %d Bytes %3.2fsec", FResult.key_bytes, FResult.key_seconds));
    FHost.Trace(Format("PublicKey Request SUCCESS %d Bytes %3.2fsec", FResult.key_bytes, FResult.key_seconds));
    if (FHost.GetResultCode() != kResultSomeRoutesFailed) FHost.SetResultCode(kResultSuccess);
    FState = State::kTxKeyPage;
  } else {
    FFinalText = "No (or invalid) publickey was returned";
    FState = State::kError;
  }
}

void ZKeyAttempt::TxKeyPage() {
  std::string error;
  if (FSteps.SendLogout(FPacket, FBytes, FLoginSequence, FDataCenterId, FCircuitNumber, error) == 0) {
    FState = State::kComplete;
  } else {
    FFinalText = "SendCircuitLogout:  send() failed";
    FState = State::kError;
  }
}

}  // namespace zp
