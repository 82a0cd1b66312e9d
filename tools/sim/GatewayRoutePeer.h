#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "DetailTracker.h"
#include "RouteConfig.h"
#include "RouteCounters.h"
#include "SimPeer.h"
#include "protocol/ProbeExpBuf.h"

namespace zp::sim {

// Circuit numbers handed out by one simulator, unique per login; they fit the 6-digit
// header field and wrap back to the start.
class CircuitNumbers {
 public:
  static constexpr std::int32_t kFirst = 1000;
  static constexpr std::int32_t kLast = 999999;
  std::int32_t Next() {
    const std::int32_t n = FNext;
    FNext = FNext == kLast ? kFirst : FNext + 1;
    return n;
  }

 private:
  std::int32_t FNext = kFirst;
};

// One connection to a gateway route: logins, detail records with the heartbeat that
// reports on them, the public-key request with heartbeats while it is pending, and
// logouts, each answered as the route's configuration says. `config`, `counters` and
// `circuits` must outlive the peer.
class GatewayRoutePeer final : public SimPeer {
 public:
  GatewayRoutePeer(const RouteConfig& config, RouteCounters& counters, CircuitNumbers& circuits);

  void OnConnect(SimLink& link) override;
  void OnPacket(const ZExpBuf& packet, SimLink& link) override;
  std::optional<std::uint32_t> NextTimer() const override;
  void OnTimer(SimLink& link) override;

 private:
  void OnLogin(const ZExpBuf& packet, SimLink& link);
  void OnDetail(const ZExpBuf& packet, SimLink& link);
  void OnKeyRequest(const ZExpBuf& packet, SimLink& link);
  void OnLogout();
  void ReportDetails(SimLink& link);
  void SendKeyHeartbeat(SimLink& link);
  // Sets the header fields every packet of the circuit carries.
  void StartReply(char type, std::int32_t client_sequence, std::int32_t circuit_sequence);
  void Write(SimLink& link, std::uint32_t delay_ms = 0);
  // For packets that answer no request; stays within the 4-digit header field.
  std::int32_t NextClientSequence() {
    FNextClientSequence = FNextClientSequence % 9999 + 1;
    return FNextClientSequence;
  }

  const RouteConfig& FConfig;
  RouteCounters& FCounters;
  CircuitNumbers& FCircuits;
  ZExpBuf FOut;
  std::int32_t FSequence = 0;  // of the latest login, repeated in every body
  std::int32_t FCircuit = 0;
  std::int32_t FNextClientSequence = 0;

  // Profiling: open from an accepted "P" login until its heartbeat.
  bool FProfiling = false;
  DetailTracker FDetails;
  std::optional<std::uint32_t> FReportAt;

  // Key wait: heartbeats from the first public-key request until the logout.
  std::optional<std::uint32_t> FKeyHeartbeatAt;
  bool FCloseInKeyWait = false;
};

}  // namespace zp::sim
