#include "client/RouteProfiler.h"

#include <algorithm>
#include <limits>

#include "run/RouteEntry.h"
#include "run/NameTable.h"
#include "run/RunRecorder.h"
#include "framework/Format.h"
#include "platform/Tick.h"
#include "protocol/RangeList.h"

namespace zp {

namespace {

constexpr long kStepPauseMs = 50;

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

ZRouteProfiler::ZRouteProfiler(ExchangeHost& host, ZGatewayConnection& connection, ZCircuitSteps& steps,
                               const ExchangeSettings& settings)
    : FHost(host), FConnection(connection), FSteps(steps), FSettings(settings) {}

void ZRouteProfiler::ProfileRoutes(RouteList& routes) {
  std::size_t failed = 0;
  std::size_t profiled = 0;
  for (std::size_t i = 0; i < routes.size(); ++i) {
    if (FHost.StopRequested()) break;
    RouteEntry& entry = routes[i];
    FHost.Record().BeginRoute(i);
    const std::int32_t score = ProfileRoute(entry.text);
    FHost.Trace(Format("%s Score(%d)", entry.text.c_str(), score));
    // A route can only miss the records it was sent: a higher count is a broken answer,
    // which fails the route as surely as missing every record.
    const bool route_failed = score >= FSettings.FDetailRecords;
    if (route_failed) {
      FHost.SetResultCode(kResultSomeRoutesFailed);
      ++failed;
    }
    entry.score = score;
    ++profiled;
    // A profile cut short by a stop has no outcome of its own (an interrupted connect is
    // not a refusal): the route was not tried.
    const bool cut_short =
        FOutcome == RouteOutcome::NotTried || (FHost.StopRequested() && FOutcome != RouteOutcome::Scored);
    FHost.Record().EndRoute(i, cut_short ? RouteOutcome::NotTried : FOutcome, score, route_failed && !cut_short,
                            FSteps.SecondsSince(FStartTick), cut_short ? "" : FDetail, cut_short ? 0 : FError);
  }
  if (profiled == routes.size() && failed == routes.size()) FHost.SetResultCode(kResultFailure);
}

std::int32_t ZRouteProfiler::ProfileRoute(const std::string& entry_text) {
  FPayload = DetailPayload(FSettings.FDetailBlocks, FSettings.FDetailBlockSize);
  FSteps.StartCountdown();
  FScore = FSettings.FDetailRecords;
  FName.clear();
  FAddress.clear();
  FFinalText.clear();
  FStartTick = FHost.Now();
  FDeadline = 0;
  FLoginSequence = 0;
  FCircuitNumber = 0;
  FRetries = 0;
  FOutcome = RouteOutcome::NotTried;
  FDetail.clear();
  FError = 0;
  FPacket = ZExpBuf();
  FBytes.assign(ZExpBuf::MaxPacketLength, 0);
  FState = ProfileState::kConnect;

  while (!FHost.StopRequested() && FState != ProfileState::kDone) {
    FHost.Pause(kStepPauseMs);
    FSteps.ShowCountdown(Format("%s %s", FName.c_str(), FAddress.c_str()), StateName(FState));
    switch (FState) {
      case ProfileState::kConnect: Connect(entry_text); break;
      case ProfileState::kTxLogin: TxLogin(); break;
      case ProfileState::kRxLogin: RxLogin(); break;
      case ProfileState::kTxDetail: TxDetail(); break;
      case ProfileState::kRxHeartbeat: RxHeartbeat(entry_text); break;
      case ProfileState::kTxLogout: TxLogout(); break;
      case ProfileState::kExit:
        FHost.Trace(FFinalText);
        FHost.SetStatusText(FFinalText);
        FState = ProfileState::kDone;
        break;
      default:
        FState = ProfileState::kExit;
        break;
    }
  }
  FConnection.FreeSocket();
  return FScore;
}

const char* ZRouteProfiler::StateName(ProfileState state) {
  using S = ProfileState;
  static constexpr std::pair<S, const char*> kNames[] = {
      {S::kConnect, "Connect"},         {S::kTxLogin, "TxLogin"},   {S::kRxLogin, "RxLogin"},
      {S::kTxDetail, "TxDetail"},       {S::kRxHeartbeat, "RxHeartbeat"}, {S::kTxLogout, "TxLogout"},
      {S::kExit, "Exit"},               {S::kComplete, "Complete"}};
  return NameIn(kNames, state, "Invalid");
}

void ZRouteProfiler::Fail(RouteOutcome outcome, const std::string& text) {
  FOutcome = outcome;
  FDetail = text;
  const bool socket_failure = outcome == RouteOutcome::ConnectFailed || outcome == RouteOutcome::ConnectionLost;
  FError = socket_failure && text != "no address" ? FConnection.LastError() : 0;
  FState = ProfileState::kExit;
}

void ZRouteProfiler::Connect(const std::string& entry_text) {
  FStartTick = FHost.Now();
  const RouteEntryParts parts = SplitRouteEntry(entry_text);
  FName = parts.name;
  FAddress = parts.address;
  FHost.Trace(Format("CurrentRoute %s %s", FName.c_str(), parts.rest.c_str()));
  FHost.SetStatusText(Format("Profiling to %s %s", FName.c_str(), parts.rest.c_str()));
  if (!HasRouteAddress(parts)) {
    FFinalText = NoAddressText(entry_text);
    return Fail(RouteOutcome::ConnectFailed, "no address");
  }
  std::string error;
  if (FSteps.ConnectRoute(parts, FFinalText, error) == ZCircuitSteps::ConnectResult::Connected) {
    FHost.WaitForEvent(ZGatewayConnection::kRetryPauseMs);
    FState = ProfileState::kTxLogin;
  } else {
    Fail(RouteOutcome::ConnectFailed, error);
  }
}

void ZRouteProfiler::TxLogin() {
  std::string error;
  if (!FSteps.SendLogin(FPacket, FBytes, 'P', FLoginSequence, FDeadline, error)) {
    FFinalText = "SendCircuitLogin:  send() failed " + error;
    return Fail(RouteOutcome::ConnectionLost, error);
  }
  FState = ProfileState::kRxLogin;
}

void ZRouteProfiler::RxLogin() {
  if (TickPassed(FHost.Now(), FDeadline)) {
    if (++FRetries >= kLoginAttempts) {
      FHost.Trace("Timeout waiting for login response - Retries expired");
      Fail(FConnection.HasSocket() ? RouteOutcome::NoLoginAnswer : RouteOutcome::ConnectionLost, "");
    } else {
      FHost.Trace(Format("Timeout waiting for login response Retry(%d) - Retransmit Login", FRetries));
      FState = ProfileState::kTxLogin;
    }
    return;
  }
  const ZCircuitSteps::LoginReply reply = FSteps.ReceiveLogin(FPacket, FBytes, FFinalText);
  if (reply == ZCircuitSteps::LoginReply::Refused) {
    Fail(RouteOutcome::LoginRefused, FFinalText);
  } else if (reply == ZCircuitSteps::LoginReply::Accepted) {
    FCircuitNumber = FPacket.CircuitNumber;
    FState = ProfileState::kTxDetail;
  }
}

void ZRouteProfiler::TxDetail() {
  int length = 0;
  int sent = 0;  // bytes of the current record already taken by the socket
  for (std::int32_t i = 1; i <= FSettings.FDetailRecords && !FHost.StopRequested();) {
    if (sent == 0) {
      FPacket.DataCenterId = "";
      FPacket.CircuitNumber = FCircuitNumber;
      FPacket.CircuitSequence = i;
      FPacket.BuildDetail(FLoginSequence, 'U', "none", 0, "no error");
      FPacket.SetData(static_cast<int>(FPayload.size()), reinterpret_cast<const std::uint8_t*>(FPayload.data()));
      length = FConnection.EncodeNext(FPacket, FBytes);
    }
    int code = 0;
    std::string error;
    const int n = FConnection.SendSome(FBytes.data() + sent, length - sent, code, error);
    if (n != SOCKET_ERROR) {
      // The socket may take only part of a record: the rest follows before the next
      // record, or the gateway would see two records spliced together.
      sent += n;
      if (sent >= length) {
        sent = 0;
        ++i;
      }
      continue;
    }
    if (code == WSAEWOULDBLOCK) {
      FConnection.TraceHeader(FPacket, "!Tx");
      FHost.WaitForEvent(ZGatewayConnection::kRetryPauseMs);
      continue;  // a record not yet begun is built again, with a new client sequence
    }
    FFinalText = Format("TransmitDetail:  send() failed (%d) %s", code, error.c_str());
    Fail(RouteOutcome::ConnectionLost, error);
    return;
  }
  if (!FHost.StopRequested()) {
    FHost.Trace(Format("%d Detail Records Transmitted", FSettings.FDetailRecords));
    FState = ProfileState::kRxHeartbeat;
  }
}

void ZRouteProfiler::RxHeartbeat(const std::string& entry_text) {
  // Still the deadline of the last login: login reply, details and heartbeat all have to
  // fit into it.
  if (TickPassed(FHost.Now(), FDeadline)) {
    FFinalText = "Timeout waiting for heartbeat response";
    Fail(FConnection.HasSocket() ? RouteOutcome::NoHeartbeat : RouteOutcome::ConnectionLost, "");
    return;
  }
  if (!FConnection.TakePacket(FPacket, FBytes, 'H')) return;
  const ZSequenceText heartbeat = FPacket.ParseSequenceText();
  // Counted without expanding: a heartbeat may list a range of billions.
  const std::int64_t count = CountRangeListItems(heartbeat.FreeText);
  FScore = static_cast<std::int32_t>(std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
  const std::string complete = Format("%s Profiling Complete - Score (%d) %3.2fsec Elapsed", FName.c_str(), FScore,
                                      FSteps.SecondsSince(FStartTick));
  FHost.SetStatusText(complete);
  FHost.Trace(complete);
  FFinalText = entry_text + " Score=" + std::to_string(FScore);
  FOutcome = RouteOutcome::Scored;
  FState = ProfileState::kTxLogout;
}

void ZRouteProfiler::TxLogout() {
  std::string error;
  if (FSteps.SendLogout(FPacket, FBytes, FLoginSequence, "", FCircuitNumber, error) != 0) {
    FFinalText = "SendCircuitLogout:  send() failed " + error;
    FScore = FSettings.FDetailRecords;
    Fail(RouteOutcome::ConnectionLost, error);
    return;
  }
  FState = ProfileState::kExit;
}

}  // namespace zp
