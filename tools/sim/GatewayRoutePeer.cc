#include "GatewayRoutePeer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "KeyReplyText.h"

namespace zp::sim {
namespace {

std::string Encoded(ZExpBuf& packet) {
  std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
  int length = 0;
  packet.Encode(length, bytes.data());
  return std::string(bytes.begin(), bytes.begin() + length);
}

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
    : config_(config), counters_(counters), circuits_(circuits) {}

void GatewayRoutePeer::OnConnect(SimLink& link) {
  ++counters_.connections;
  if (config_.close_stage == CloseStage::OnConnect) link.Close(config_.close_with_reset);
}

void GatewayRoutePeer::OnPacket(const ZExpBuf& packet, SimLink& link) {
  switch (packet.PacketType) {
    case 'L': OnLogin(packet, link); break;
    case 'D': OnDetail(packet, link); break;
    case 'P': OnKeyRequest(packet, link); break;
    case 'H': ++counters_.heartbeats; break;
    case 'T': OnLogout(); break;
    default: break;  // anything else is taken and ignored
  }
}

std::optional<std::uint32_t> GatewayRoutePeer::NextTimer() const {
  if (report_at_ && key_heartbeat_at_)
    return static_cast<std::int32_t>(*report_at_ - *key_heartbeat_at_) < 0 ? report_at_ : key_heartbeat_at_;
  return report_at_ ? report_at_ : key_heartbeat_at_;
}

void GatewayRoutePeer::OnTimer(SimLink& link) {
  if (report_at_ && TickReached(link.Now(), *report_at_)) ReportDetails(link);
  if (key_heartbeat_at_ && TickReached(link.Now(), *key_heartbeat_at_)) SendKeyHeartbeat(link);
}

void GatewayRoutePeer::OnLogin(const ZExpBuf& packet, SimLink& link) {
  const ZLoginBody login = packet.ParseLogin();
  const bool key_mode = login.Mode == 'K';
  ++counters_.logins;
  ++(key_mode ? counters_.key_logins : counters_.profile_logins);
  counters_.last_login_sequence = login.Sequence;

  const LoginReplyConfig& reply = key_mode ? config_.key_login : config_.profile_login;
  if (reply.kind == LoginReplyConfig::Kind::Silent) return;
  const bool accept = reply.kind == LoginReplyConfig::Kind::Accept;

  sequence_ = login.Sequence;
  circuit_ = accept ? circuits_.Next() : 0;
  if (accept) counters_.last_circuit_number = circuit_;
  // A new login starts its circuit over: an earlier profile or key wait is abandoned.
  profiling_ = accept && !key_mode;
  details_.Reset(login.RecordCount);
  report_at_.reset();
  key_heartbeat_at_.reset();
  close_in_key_wait_ = false;

  ZLoginBody answer = login;
  answer.Status = accept ? 0 : reply.status;
  answer.StatusText = accept ? std::string() : reply.text;
  StartReply('L', packet.ClientSequence, 0);
  out_.BuildLogin(answer);
  Write(link, reply.delay_ms);
  if (config_.close_stage == CloseStage::AfterLogin &&
      (config_.close_mode == 0 || config_.close_mode == login.Mode))
    link.Close(config_.close_with_reset, reply.delay_ms);
}

void GatewayRoutePeer::OnDetail(const ZExpBuf& packet, SimLink& link) {
  ++counters_.details;
  if (!profiling_) return;
  details_.Record(packet.CircuitSequence);
  if (details_.Complete())
    ReportDetails(link);
  else if (details_.Received() > 0)
    report_at_ = link.Now() + config_.detail_quiet_ms;
}

void GatewayRoutePeer::ReportDetails(SimLink& link) {
  profiling_ = false;
  report_at_.reset();
  if (config_.close_stage == CloseStage::AfterDetails) {
    link.Close(config_.close_with_reset);
    return;
  }
  if (!config_.profile_heartbeat) return;
  StartReply('H', NextClientSequence(), 0);
  out_.BuildHeartbeat(sequence_, config_.profile_heartbeat_text.value_or(details_.MissingRanges()));
  Write(link);
}

void GatewayRoutePeer::OnKeyRequest(const ZExpBuf& packet, SimLink& link) {
  ++counters_.key_requests;
  const std::uint32_t period = std::max<std::uint32_t>(config_.key_heartbeat_period_ms, 1);
  if (config_.key_heartbeats && !key_heartbeat_at_) key_heartbeat_at_ = link.Now() + period;

  if (config_.close_stage == CloseStage::DuringKeyWait) {
    // Closed by the first heartbeat, or after one period when there are none.
    close_in_key_wait_ = true;
    if (!config_.key_heartbeats) link.Close(config_.close_with_reset, period);
    return;
  }
  if (config_.key_reply == KeyReplyKind::Never) return;

  const bool failed = config_.key_reply == KeyReplyKind::Status;
  StartReply('P', packet.ClientSequence, packet.CircuitSequence);
  out_.SetText(KeyReplyBody(sequence_, failed ? config_.key_status : 0, config_.key_status_text));
  const std::string data = KeyReplyData(config_);
  out_.SetData(static_cast<int>(data.size()), reinterpret_cast<const std::uint8_t*>(data.data()));
  Write(link, config_.key_delay_ms);
  if (config_.close_stage == CloseStage::AfterKey) link.Close(config_.close_with_reset, config_.key_delay_ms);
}

void GatewayRoutePeer::SendKeyHeartbeat(SimLink& link) {
  key_heartbeat_at_ = link.Now() + std::max<std::uint32_t>(config_.key_heartbeat_period_ms, 1);
  StartReply('H', NextClientSequence(), 0);
  out_.BuildHeartbeat(sequence_, config_.key_heartbeat_text);
  Write(link);
  if (close_in_key_wait_) {
    key_heartbeat_at_.reset();
    link.Close(config_.close_with_reset);
  }
}

void GatewayRoutePeer::OnLogout() {
  ++counters_.logouts;
  profiling_ = false;
  report_at_.reset();
  key_heartbeat_at_.reset();
}

void GatewayRoutePeer::StartReply(char type, std::int32_t client_sequence, std::int32_t circuit_sequence) {
  out_.PacketType = type;
  out_.ClientSequence = client_sequence;
  out_.DataCenterId = config_.data_center;
  out_.CircuitNumber = circuit_;
  out_.CircuitSequence = circuit_sequence;
  out_.SetText({});
  out_.SetData(0, nullptr);
}

void GatewayRoutePeer::Write(SimLink& link, std::uint32_t delay_ms) {
  if (config_.silent) return;
  link.Send(Encoded(out_), delay_ms);
}

}  // namespace zp::sim
