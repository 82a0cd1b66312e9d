#include "client/RouteProfile.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "framework/Format.h"
#include "platform/Tick.h"
#include "protocol/RangeList.h"
#include "run/NameTable.h"
#include "run/RouteEntry.h"
#include "run/RunWords.h"

namespace zp {

namespace {

// Blocks of characters 0x20 to 0x7F, then one more blank, repeated.
std::string DetailPayload(int blocks, int block_size) {
  std::string payload;
  for (int b = 0; b < blocks; ++b) {
    char c = 0x20;
    for (int i = 0; i < block_size; ++i) {
      payload += c;
      c = c == 0x7F ? 0x20 : static_cast<char>(c + 1);
    }
  }
  return payload;
}

}  // namespace

ZRouteProfile::ZRouteProfile(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                             const ExchangeSettings& settings, std::size_t index, std::string entry)
    : FHost(host),
      FConnection(connection),
      FSteps(steps),
      FSettings(settings),
      FIndex(index),
      FEntry(std::move(entry)),
      FPayload(DetailPayload(settings.FDetailBlocks, settings.FDetailBlockSize)),
      FCountdown(host),
      FScore(settings.FDetailRecords),
      FStartTick(host.Now()),
      FBytes(ZExpBuf::MaxPacketLength, 0) {}

RouteProfileResult ZRouteProfile::Run() {
  while (!FHost.StopRequested() && FState != State::kDone) {
    FHost.Pause(ZCircuitSteps::kStepPauseMs);
    FCountdown.Show(Format("%s %s", FName.c_str(), FAddress.c_str()), StateName(FState));
    switch (FState) {
      case State::kConnect: Connect(); break;
      case State::kTxLogin: TxLogin(); break;
      case State::kRxLogin: RxLogin(); break;
      case State::kTxDetail: TxDetail(); break;
      case State::kRxHeartbeat: RxHeartbeat(); break;
      case State::kTxLogout: TxLogout(); break;
      case State::kExit:
        FHost.Trace(FFinalText);
        FHost.SetStatusText(FFinalText);
        FState = State::kDone;
        break;
      default:
        FState = State::kExit;
        break;
    }
  }
  FConnection.FreeSocket();
  FHost.ClearWait();
  return Result();
}

RouteProfileResult ZRouteProfile::Result() const {
  RouteProfileResult result{FOutcome, FStep, FScore, FDetail, FError, FSteps.SecondsSince(FStartTick)};
  // A profile a stop cut short has no outcome of its own (an interrupted connect is not a
  // refusal): it says where it stopped instead; one stopped before its first step was
  // never tried.
  if (FOutcome == RouteOutcome::NotTried || (FHost.StopRequested() && FOutcome != RouteOutcome::Scored)) {
    result.outcome = FStep == RouteStep::None ? RouteOutcome::NotTried : RouteOutcome::Stopped;
    result.detail.clear();
    result.error = 0;
  }
  return result;
}

const char* ZRouteProfile::StateName(State state) {
  using S = State;
  static constexpr std::pair<S, const char*> kNames[] = {
      {S::kConnect, "Connect"},         {S::kTxLogin, "TxLogin"},   {S::kRxLogin, "RxLogin"},
      {S::kTxDetail, "TxDetail"},       {S::kRxHeartbeat, "RxHeartbeat"}, {S::kTxLogout, "TxLogout"},
      {S::kExit, "Exit"},               {S::kComplete, "Complete"}};
  return NameIn(kNames, state, "Invalid");
}

void ZRouteProfile::BeginStep(RouteStep step) {
  if (step == FStep) return;
  FStep = step;
  FHost.Record().SetRouteStep(FIndex, step);
}

// A step begins as soon as the profile moves to it, so that a stop in between says what
// the profile was about to do (the heartbeat wait begins with the last record sent).
void ZRouteProfile::Enter(State state) {
  FState = state;
  switch (state) {
    case State::kTxLogin:
    case State::kRxLogin: return BeginStep(RouteStep::WaitingForLogin);
    case State::kTxDetail: return BeginStep(RouteStep::SendingRecords);
    case State::kRxHeartbeat: return BeginStep(RouteStep::WaitingForHeartbeat);
    case State::kTxLogout: return BeginStep(RouteStep::LoggingOut);
    default: return;
  }
}

void ZRouteProfile::Fail(RouteOutcome outcome, const std::string& text) {
  FHost.ClearWait();
  FOutcome = outcome;
  FDetail = text;
  const bool socket_failure = outcome == RouteOutcome::ConnectFailed || outcome == RouteOutcome::ConnectionLost;
  FError = socket_failure && !FSkipped ? FConnection.LastError() : 0;
  FState = State::kExit;
}

void ZRouteProfile::Connect() {
  BeginStep(RouteStep::Connecting);
  FStartTick = FHost.Now();
  const RouteEntryParts parts = SplitRouteEntry(FEntry);
  FName = parts.name;
  FAddress = parts.address;
  FHost.Trace(Format("CurrentRoute %s %s", FName.c_str(), parts.rest.c_str()));
  FHost.SetStatusText(Format("Profiling to %s %s", FName.c_str(), parts.rest.c_str()));
  if (const RouteEntryFault fault = CheckRouteEntry(parts); fault != RouteEntryFault::None) {
    // Never connected to: there is no socket error to keep.
    FSkipped = true;
    FFinalText = SkippedEntryText(FEntry, parts);
    return Fail(RouteOutcome::ConnectFailed, RouteEntryFaultDetail(fault));
  }
  std::string error;
  if (FSteps.ConnectRoute(parts, FEntry, FFinalText, error) == ZCircuitSteps::ConnectResult::Connected) {
    FHost.WaitForEvent(ZGatewayConnection::kRetryPauseMs);
    Enter(State::kTxLogin);
  } else {
    Fail(RouteOutcome::ConnectFailed, error);
  }
}

void ZRouteProfile::TxLogin() {
  std::string error;
  if (!FSteps.SendLogin(FPacket, FBytes, 'P', FLoginSequence, FDeadline, error)) {
    FFinalText = "SendCircuitLogin:  send() failed " + error;
    return Fail(RouteOutcome::ConnectionLost, error);
  }
  FHost.RecordWait(WaitKind::LoginReply, FEntry, kLoginReplyMs, FRetries + 1, kLoginAttempts);
  Enter(State::kRxLogin);
}

void ZRouteProfile::RxLogin() {
  if (TickPassed(FHost.Now(), FDeadline)) {
    if (++FRetries >= kLoginAttempts) {
      FHost.Trace("Timeout waiting for login response - Retries expired");
      Fail(FConnection.HasSocket() ? RouteOutcome::NoLoginAnswer : RouteOutcome::ConnectionLost, "");
    } else {
      FHost.Trace(Format("Timeout waiting for login response Retry(%d) - Retransmit Login", FRetries));
      Enter(State::kTxLogin);
    }
    return;
  }
  const ZCircuitSteps::LoginReply reply = FSteps.ReceiveLogin(FPacket, FBytes, FFinalText);
  if (reply == ZCircuitSteps::LoginReply::None) return;
  FHost.ClearWait();
  if (reply == ZCircuitSteps::LoginReply::Refused) {
    Fail(RouteOutcome::LoginRefused, FFinalText);
  } else {
    FCircuitNumber = FPacket.CircuitNumber;
    Enter(State::kTxDetail);
  }
}

// Record `sequence`, with a new client sequence; returns its length.
int ZRouteProfile::EncodeDetail(std::int32_t sequence) {
  FPacket.DataCenterId = "";
  FPacket.CircuitNumber = FCircuitNumber;
  FPacket.CircuitSequence = sequence;
  FPacket.BuildDetail(FLoginSequence, 'U', "none", 0, "no error");
  FPacket.SetData(static_cast<int>(FPayload.size()), reinterpret_cast<const std::uint8_t*>(FPayload.data()));
  return FConnection.EncodeNext(FPacket, FBytes);
}

void ZRouteProfile::TxDetail() {
  for (std::int32_t i = 1; i <= FSettings.FDetailRecords && !FHost.StopRequested(); ++i) {
    std::string error;
    // Records are not traced one by one; a record the socket has not begun to take is
    // built again when it is retried.
    const int code = FConnection.SendWithRetry(FPacket, FBytes, EncodeDetail(i), error, nullptr,
                                               [this, i] { return EncodeDetail(i); });
    if (code != 0) {
      FFinalText = Format("TransmitDetail:  send() failed (%d) %s", code, error.c_str());
      return Fail(RouteOutcome::ConnectionLost, error);
    }
  }
  if (FHost.StopRequested()) return;
  FHost.Trace(Format("%d Detail Records Transmitted", FSettings.FDetailRecords));
  Enter(State::kRxHeartbeat);
  // Still the deadline of the last login: login reply, details and heartbeat all have to
  // fit into it.
  const auto left = static_cast<std::int32_t>(FDeadline - FHost.Now());
  if (left > 0) FHost.RecordWait(WaitKind::Heartbeat, FEntry, static_cast<std::uint32_t>(left));
}

void ZRouteProfile::RxHeartbeat() {
  if (TickPassed(FHost.Now(), FDeadline)) {
    FFinalText = "Timeout waiting for heartbeat response";
    Fail(FConnection.HasSocket() ? RouteOutcome::NoHeartbeat : RouteOutcome::ConnectionLost, "");
    return;
  }
  if (!FConnection.TakePacket(FPacket, FBytes, 'H')) return;
  FHost.ClearWait();
  const ZSequenceText heartbeat = FPacket.ParseSequenceText();
  if (RangeListNumbersFit(heartbeat.FreeText)) {
    // Counted without expanding: a heartbeat may list a range of billions.
    const std::int64_t count = CountRangeListItems(heartbeat.FreeText);
    FScore = static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
  } else {
    // A record number past 32 bits was never sent: a broken answer, which fails the route
    // as surely as every record missing (read as it stands, the range would be empty and
    // the route perfect).
    FHost.Trace("Heartbeat lists record numbers that were never sent");
    FScore = FSettings.FDetailRecords;
    FDetail = kRecordsNeverSent;
  }
  const std::string complete = Format("%s Profiling Complete - Score (%d) %3.2fsec Elapsed", FName.c_str(), FScore,
                                      FSteps.SecondsSince(FStartTick));
  FHost.SetStatusText(complete);
  FHost.Trace(complete);
  FFinalText = FEntry + " Score=" + std::to_string(FScore);
  FOutcome = RouteOutcome::Scored;
  Enter(State::kTxLogout);
}

void ZRouteProfile::TxLogout() {
  std::string error;
  if (FSteps.SendLogout(FPacket, FBytes, FLoginSequence, "", FCircuitNumber, error) != 0) {
    FFinalText = "SendCircuitLogout:  send() failed " + error;
    FScore = FSettings.FDetailRecords;
    Fail(RouteOutcome::ConnectionLost, error);
    return;
  }
  FState = State::kExit;
}

}  // namespace zp
