#include "RouteServerPeer.h"

#include <algorithm>
#include <vector>

#include "protocol/ProbeExpBuf.h"

namespace zp::sim {
namespace {

using namespace std::string_view_literals;
constexpr auto kLineEnd = "\r\n"sv;
// No start triple in here, but two beginnings of one, so a receiver has to re-synchronise.
constexpr auto kGarbage = "GARBAGE \x01\x01S\x01Sb\x00\xff\r\n"sv;

// The status line and the route lines, as many whole lines as the data part holds. The
// largest answer pads the status line, after its "OK", since every further non-empty
// line would count as a route.
std::string AnswerData(const RouteServerConfig& config, const std::vector<std::string>& lines) {
  std::string data = config.status_line.substr(0, ZExpBuf::MaxDataPart);
  std::string routes;
  const std::size_t fit = RouteServerPeer::LinesThatFit(config, lines);
  for (std::size_t i = 0; i < fit; ++i) {
    routes.append(kLineEnd);
    routes.append(lines[i]);
  }
  if (config.largest) {
    const std::size_t room = ZExpBuf::MaxDataPart - data.size() - routes.size();
    if (room > 0) data += ' ';
    for (std::size_t i = 1; i < room; ++i) data += static_cast<char>('a' + i % 26);
  }
  return data + routes;
}

}  // namespace

RouteServerPeer::RouteServerPeer(const RouteServerConfig& config,
                                 std::shared_ptr<const std::vector<std::string>> lines,
                                 RouteServerCounters& counters)
    : FConfig(config), FLines(std::move(lines)), FCounters(counters) {}

void RouteServerPeer::OnConnect(SimLink& /*link*/) { ++FCounters.connections; }

void RouteServerPeer::OnPacket(const ZExpBuf& packet, SimLink& link) {
  if (packet.PacketType != 'R') return;
  ++FCounters.requests;
  if (FConfig.silent) return;
  if (FConfig.close_instead || FConfig.reset_instead) {
    link.Close(FConfig.reset_instead, FConfig.delay_ms);
    return;
  }
  std::string bytes = AnswerBytes(FConfig, *FLines, packet.ClientSequence);
  if (FConfig.bytewise)
    link.SendBytewise(std::move(bytes), FConfig.byte_gap_ms, FConfig.delay_ms);
  else
    link.Send(std::move(bytes), FConfig.delay_ms);
}

std::size_t RouteServerPeer::LinesThatFit(const RouteServerConfig& config, const std::vector<std::string>& lines) {
  std::size_t used = std::min<std::size_t>(config.status_line.size(), ZExpBuf::MaxDataPart);
  std::size_t fit = 0;
  for (const std::string& line : lines) {
    used += kLineEnd.size() + line.size();
    if (used > static_cast<std::size_t>(ZExpBuf::MaxDataPart)) break;
    ++fit;
  }
  return fit;
}

std::string RouteServerPeer::AnswerBytes(const RouteServerConfig& config, const std::vector<std::string>& lines,
                                         std::int32_t client_sequence) {
  ZExpBuf packet;
  packet.PacketType = 'R';
  packet.ClientSequence = client_sequence;
  packet.SetText(config.largest ? std::string(ZExpBuf::MaxTextPart, ' ') : std::string());
  const std::string data = AnswerData(config, lines);
  packet.SetData(static_cast<int>(data.size()), reinterpret_cast<const std::uint8_t*>(data.data()));
  std::string answer = Encoded(packet);

  std::string bytes;
  if (config.garbage_before) bytes.append(kGarbage);
  if (config.heartbeat_first) {
    // A packet with no data part holds no line: the client has to skip it.
    ZExpBuf heartbeat;
    heartbeat.BuildHeartbeat(0, "0");
    bytes += Encoded(heartbeat);
  }
  bytes += answer;
  if (config.twice) bytes += answer;
  return bytes;
}

}  // namespace zp::sim
