#include "GatewayRoutePeer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "KeyReplyText.h"

namespace zp::sim {
namespace {

// The public-key reply body: the status-reply layout with the login's sequence.
std::string KeyReplyBody(std::int32_t sequence, std::int32_t status, const std::string& text) {
  char head[64];
  std::snprintf(head, sizeof head, "//%4.4d// %-1.1s %-4.4s", static_cast<int>(sequence), "P", "KEYS");
  std::string body = head;
  if (status != 0) {
    char number[32];
    std::snprintf(number, sizeof number, " %6.6d ", static_cast<int>(status));
    body += number;
    body += text;
  }
  return body;
}

}  // namespace

GatewayRoutePeer::GatewayRoutePeer(const RouteConfig& config, RouteCounters& counters,
                                   CircuitNumbers& circuits)
    : FConfig(config), FCounters(counters), FCircuits(circuits) {}

void GatewayRoutePeer::OnConnect(SimLink& link) {
  ++FCounters.connections;
  if (FConfig.close_stage == CloseStage::OnConnect) link.Close(FConfig.close_with_reset);
}

void GatewayRoutePeer::OnPacket(const ZExpBuf& packet, SimLink& link) {
  switch (packet.PacketType) {
    case 'L': OnLogin(packet, link); break;
    case 'D': OnDetail(packet, link); break;
    case 'P': OnKeyRequest(packet, link); break;
    case 'H': ++FCounters.heartbeats; break;
    case 'T': OnLogout(); break;
    default: break;  // anything else is taken and ignored
  }
}

std::optional<std::uint32_t> GatewayRoutePeer::NextTimer() const {
  if (FReportAt && FKeyHeartbeatAt)
    return static_cast<std::int32_t>(*FReportAt - *FKeyHeartbeatAt) < 0 ? FReportAt : FKeyHeartbeatAt;
  return FReportAt ? FReportAt : FKeyHeartbeatAt;
}

void GatewayRoutePeer::OnTimer(SimLink& link) {
  if (FReportAt && TickReached(link.Now(), *FReportAt)) ReportDetails(link);
  if (FKeyHeartbeatAt && TickReached(link.Now(), *FKeyHeartbeatAt)) SendKeyHeartbeat(link);
}

void GatewayRoutePeer::OnLogin(const ZExpBuf& packet, SimLink& link) {
  const ZLoginBody login = packet.ParseLogin();
  const bool key_mode = login.Mode == 'K';
  ++FCounters.logins;
  ++(key_mode ? FCounters.key_logins : FCounters.profile_logins);
  FCounters.last_login_sequence = login.Sequence;

  const LoginReplyConfig& reply = key_mode ? FConfig.key_login : FConfig.profile_login;
  if (reply.kind == LoginReplyConfig::Kind::Silent) return;
  const bool accept = reply.kind == LoginReplyConfig::Kind::Accept;

  FSequence = login.Sequence;
  FCircuit = accept ? FCircuits.Next() : 0;
  if (accept) FCounters.last_circuit_number = FCircuit;
  // A new login starts its circuit over: an earlier profile or key wait is abandoned.
  FProfiling = accept && !key_mode;
  FDetails.Reset(login.RecordCount);
  FReportAt.reset();
  FKeyHeartbeatAt.reset();
  FCloseInKeyWait = false;

  ZLoginBody answer = login;
  answer.Status = accept ? 0 : reply.status;
  answer.StatusText = accept ? std::string() : reply.text;
  StartReply('L', packet.ClientSequence, 0);
  FOut.BuildLogin(answer);
  Write(link, reply.delay_ms);
  if (FConfig.close_stage == CloseStage::AfterLogin &&
      (FConfig.close_mode == 0 || FConfig.close_mode == login.Mode))
    link.Close(FConfig.close_with_reset, reply.delay_ms);
}

void GatewayRoutePeer::OnDetail(const ZExpBuf& packet, SimLink& link) {
  ++FCounters.details;
  if (!FProfiling) return;
  FDetails.Record(packet.CircuitSequence);
  if (FDetails.Complete())
    ReportDetails(link);
  else if (FDetails.Received() > 0)
    FReportAt = link.Now() + FConfig.detail_quiet_ms;
}

void GatewayRoutePeer::ReportDetails(SimLink& link) {
  FProfiling = false;
  FReportAt.reset();
  if (FConfig.close_stage == CloseStage::AfterDetails) {
    link.Close(FConfig.close_with_reset);
    return;
  }
  if (!FConfig.profile_heartbeat) return;
  StartReply('H', NextClientSequence(), 0);
  FOut.BuildHeartbeat(FSequence, FConfig.profile_heartbeat_text.value_or(FDetails.MissingRanges()));
  Write(link);
}

void GatewayRoutePeer::OnKeyRequest(const ZExpBuf& packet, SimLink& link) {
  ++FCounters.key_requests;
  const std::uint32_t period = std::max<std::uint32_t>(FConfig.key_heartbeat_period_ms, 1);
  if (FConfig.key_heartbeats && !FKeyHeartbeatAt) FKeyHeartbeatAt = link.Now() + period;

  if (FConfig.close_stage == CloseStage::DuringKeyWait) {
    // Closed by the first heartbeat, or after one period when there are none.
    FCloseInKeyWait = true;
    if (!FConfig.key_heartbeats) link.Close(FConfig.close_with_reset, period);
    return;
  }
  if (FConfig.key_reply == KeyReplyKind::Never) return;

  const bool failed = FConfig.key_reply == KeyReplyKind::Status;
  StartReply('P', packet.ClientSequence, packet.CircuitSequence);
  FOut.SetText(KeyReplyBody(FSequence, failed ? FConfig.key_status : 0, FConfig.key_status_text));
  const std::string data = KeyReplyData(FConfig);
  FOut.SetData(static_cast<int>(data.size()), reinterpret_cast<const std::uint8_t*>(data.data()));
  Write(link, FConfig.key_delay_ms);
  if (FConfig.close_stage == CloseStage::AfterKey) link.Close(FConfig.close_with_reset, FConfig.key_delay_ms);
}

void GatewayRoutePeer::SendKeyHeartbeat(SimLink& link) {
  FKeyHeartbeatAt = link.Now() + std::max<std::uint32_t>(FConfig.key_heartbeat_period_ms, 1);
  StartReply('H', NextClientSequence(), 0);
  FOut.BuildHeartbeat(FSequence, FConfig.key_heartbeat_text);
  Write(link);
  if (FCloseInKeyWait) {
    FKeyHeartbeatAt.reset();
    link.Close(FConfig.close_with_reset);
  }
}

void GatewayRoutePeer::OnLogout() {
  ++FCounters.logouts;
  FProfiling = false;
  FReportAt.reset();
  FKeyHeartbeatAt.reset();
}

void GatewayRoutePeer::StartReply(char type, std::int32_t client_sequence, std::int32_t circuit_sequence) {
  FOut.PacketType = type;
  FOut.ClientSequence = client_sequence;
  FOut.DataCenterId = FConfig.data_center;
  FOut.CircuitNumber = FCircuit;
  FOut.CircuitSequence = circuit_sequence;
  FOut.SetText({});
  FOut.SetData(0, nullptr);
}

void GatewayRoutePeer::Write(SimLink& link, std::uint32_t delay_ms) {
  if (FConfig.silent) return;
  link.Send(Encoded(FOut), delay_ms);
}

}  // namespace zp::sim
