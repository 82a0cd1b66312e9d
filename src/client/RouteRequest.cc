#include "client/RouteRequest.h"

#include <utility>

#include "framework/Format.h"
#include "net/ZWinSock.h"
#include "platform/LocalTime.h"
#include "platform/Tick.h"

namespace zp {

namespace {

constexpr long kRequestPauseMs = 200;
constexpr long kPollPauseMs = 250;
constexpr long kConnectedPauseMs = 250;

// Lines separated by CR, LF or CR LF; a break at the very end makes no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

ZRouteRequest::ZRouteRequest(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings,
                             std::string address, std::int32_t port, std::string route_code, int round)
    : FHost(host),
      FConnection(connection),
      FSettings(settings),
      FAddress(std::move(address)),
      FPort(port),
      FRouteCode(std::move(route_code)),
      FRound(round),
      FWhere(Format("%s:%4.4X", FAddress.c_str(), static_cast<unsigned>(port))),
      FBytes(ZExpBuf::MaxPacketLength, 0) {}

RouteRequestResult ZRouteRequest::Run(const std::string& body) {
  FHost.Trace("GetRoute Start \"" + FWhere + "\"");
  FResult.connected = Connect();
  if (FResult.connected) {
    while (!FDone && !FHost.StopRequested()) {
      FHost.Pause(kRequestPauseMs);
      switch (FState) {
        case State::kTxRequest:
          SendRequest(body);
          break;
        case State::kRxResponse:
          ReceiveResponse();
          break;
        case State::kAbort:
          FHost.Trace("Error occurred - Abort getroutes");
          FDone = true;
          break;
      }
    }
    if (!FEnded) End(ServerOutcome::Stopped, "");
  }
  FHost.ClearWait();
  FConnection.FreeSocket();
  FHost.Trace("GetRoute Finished \"" + FWhere + "\"");
  return std::move(FResult);
}

// The outcome, once; the error of a connect or send that failed with it.
void ZRouteRequest::End(ServerOutcome outcome, const std::string& detail) {
  FEnded = true;
  FResult.outcome = outcome;
  FResult.detail = detail;
  const bool socket_failure = outcome == ServerOutcome::ConnectFailed || outcome == ServerOutcome::SendFailed;
  FResult.error = socket_failure ? FConnection.LastError() : 0;
}

bool ZRouteRequest::Connect() {
  std::string error;
  int code = 0;
  FHost.RecordWait(WaitKind::Connect, FWhere, 0);
  const ZGatewayConnection::ConnectResult connected = FConnection.ConnectTo(FAddress, FPort, error, code);
  FHost.ClearWait();
  switch (connected) {
    case ZGatewayConnection::ConnectResult::NoSocket:
      FHost.Trace(Format("couldn't create socket Error(%d)", code));
      End(ServerOutcome::ConnectFailed, SocketErrorText(code));
      return false;
    case ZGatewayConnection::ConnectResult::ConnectFailed:
      FHost.Trace("connect() failed to \"" + FWhere + "\" " + error + " ");
      // A connect that a stop cut short says nothing about the server.
      End(FHost.StopRequested() ? ServerOutcome::Stopped : ServerOutcome::ConnectFailed, error);
      return false;
    case ZGatewayConnection::ConnectResult::SelectFailed:
      FHost.Trace("WSAAsyncSelect() err " + error);
      End(ServerOutcome::ConnectFailed, error);
      return false;
    case ZGatewayConnection::ConnectResult::Connected:
      break;
  }
  FHost.Pause(kConnectedPauseMs);
  const std::string connected_text = Format("Connected to %s (%d)", FWhere.c_str(), FPort);
  FHost.Trace(connected_text);
  FHost.SetStatusText(connected_text);
  return true;
}

void ZRouteRequest::SendRequest(const std::string& body) {
  FHost.SetStatusText(Format("Tx Request to %s (%d)", FWhere.c_str(), FPort));
  FPacket.ClientSequence = FHost.NextClientSequence();
  FPacket.DataCenterId = "";
  FPacket.CircuitNumber = 0;
  FPacket.CircuitSequence = 0;
  FPacket.BuildRoutesRequest(FSettings.FClientId, FSettings.FClientSubId, "NETAPI", "73105",
                             FRouteCode.empty() ? ' ' : FRouteCode[0]);
  FPacket.SetData(static_cast<int>(body.size()), reinterpret_cast<const std::uint8_t*>(body.data()));
  int length = 0;
  FPacket.Encode(length, FBytes.data());
  FDeadline = FHost.Now() + kRouteServerAnswerMs;
  FHost.TraceDump("Tx", length, FBytes.data());
  std::string error;
  if (FConnection.SendWithRetry(FPacket, FBytes, length, error) == 0) {
    FHost.RecordWait(WaitKind::RouteServerAnswer, FWhere, kRouteServerAnswerMs, FRound, kRouteRounds);
    FState = State::kRxResponse;
  } else {
    FHost.Trace("SendRouteRequest:  send() failed " + error);
    End(ServerOutcome::SendFailed, error);
    FState = State::kAbort;
  }
}

void ZRouteRequest::ReceiveResponse() {
  if (TickPassed(FHost.Now(), FDeadline)) {
    FHost.Trace("Timeout waiting for Response");
    FHost.SetStatusText("Routes Timeout");
    End(ServerOutcome::NoAnswer, "");
    FState = State::kAbort;
    return;
  }
  int length = 0;
  if (!FConnection.NextPacket(length, FBytes.data())) {
    FHost.Pause(kPollPauseMs);
    return;
  }
  if (FPacket.Decode(length, FBytes.data()) <= 0) return;
  const auto data = FPacket.DataView();
  std::vector<std::string> lines = SplitLines(std::string(reinterpret_cast<const char*>(data.data()), data.size()));
  if (lines.empty()) return;
  // Lines are joined rather than formatted: a peer's line may be longer than a format
  // buffer and may hold any byte, NUL included.
  FHost.SetStatusText(Format("Rx Response from %s (%d) \"", FWhere.c_str(), FPort) + lines[0] + "\"");
  for (std::size_t i = 0; i < lines.size(); ++i) FHost.Trace(Format("%2.2d \"", static_cast<int>(i)) + lines[i] + "\"");
  FDone = true;
  FHost.ClearWait();
  if (lines[0].rfind("OK", 0) != 0) {
    End(ServerOutcome::NotOk, lines[0]);
    return;
  }
  End(ServerOutcome::Answered, "");
  FResult.lines = std::move(lines);
  FHost.SetStatusText("Routes Updated " + FormatNow("mm/dd hh:nn"));
}

}  // namespace zp
