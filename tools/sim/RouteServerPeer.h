#pragma once
#include <memory>
#include <string>
#include <vector>

#include "RouteCounters.h"
#include "RouteServerConfig.h"
#include "SimPeer.h"

namespace zp::sim {

// One connection to a route server: each Routes request is answered with one packet
// whose data part is the status line and one route entry per line, joined by CR LF,
// or with the fault the configuration asks for. `config` and `counters` must outlive
// the peer.
class RouteServerPeer final : public SimPeer {
 public:
  RouteServerPeer(const RouteServerConfig& config, std::shared_ptr<const std::vector<std::string>> lines,
                  RouteServerCounters& counters);

  void OnConnect(SimLink& link) override;
  void OnPacket(const ZExpBuf& packet, SimLink& link) override;

  // How many of `lines` one answer holds after the status line: the data part's limit.
  static std::size_t LinesThatFit(const RouteServerConfig& config, const std::vector<std::string>& lines);
  // The bytes written for one request with client sequence `client_sequence`.
  static std::string AnswerBytes(const RouteServerConfig& config, const std::vector<std::string>& lines,
                                 std::int32_t client_sequence);

 private:
  const RouteServerConfig& FConfig;
  std::shared_ptr<const std::vector<std::string>> FLines;
  RouteServerCounters& FCounters;
};

}  // namespace zp::sim
