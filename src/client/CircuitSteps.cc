#include "client/CircuitSteps.h"

#include "framework/Format.h"
#include "platform/LocalTime.h"

namespace zp {

ZCircuitSteps::ZCircuitSteps(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings)
    : FHost(host), FConnection(connection), FSettings(settings) {}

ZCircuitSteps::ConnectResult ZCircuitSteps::ConnectRoute(const RouteEntryParts& route, const std::string& target,
                                                         std::string& final_text, std::string& error) {
  const char* name = route.name.c_str();
  const char* address = route.address.c_str();
  const auto hex_port = static_cast<unsigned>(route.port);
  FHost.Trace(Format("0: connect via route %s %s %4.4X (%d)", name, address, hex_port, route.port));
  int code = 0;
  FHost.RecordWait(WaitKind::Connect, target, 0);
  const ConnectResult result = FConnection.ConnectTo(route.address, route.port, error, code);
  FHost.ClearWait();
  switch (result) {
    case ConnectResult::NoSocket:
      final_text = Format("0: couldn't create socket Error(%d)", code);
      error = final_text;
      break;
    case ConnectResult::ConnectFailed:
      FHost.Trace(Format("0: connect() failed to %s %s %4.4X (%d) %s", name, address, hex_port, route.port,
                         error.c_str()));
      FConnection.FreeSocket();
      break;
    case ConnectResult::SelectFailed:
    case ConnectResult::Connected:
      FHost.Trace(Format("0: Connected to %s %s %4.4X (%d)", name, address, hex_port, route.port));
      if (result == ConnectResult::SelectFailed) FHost.Trace("0: WSAAsyncSelect() err " + error);
      break;
  }
  return result;
}

bool ZCircuitSteps::SendLogin(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, char mode, std::int32_t& sequence,
                              std::uint32_t& deadline, std::string& error) {
  // Header fields other than the client sequence keep what the packet object holds: a
  // new object's zeros, or the last packet decoded since.
  sequence = FHost.NextCircuitSequence();
  if (mode == 'P')
    packet.BuildLogin(sequence, 'P', FSettings.FClientId, FSettings.FClientSubId, FSettings.FDetailRecords, 0,
                      "PROFILE", "127.0.0.1", 14, 's', 0, "no error");
  else
    packet.BuildLogin(sequence, mode, FSettings.FClientId, FSettings.FClientSubId, 1, 1, "NETAPI", "127.0.0.1", 14,
                      's', 0, "no error");
  packet.SetData(0, nullptr);
  if (FConnection.SendAndDump(packet, bytes, error) != 0) return false;
  deadline = FHost.Now() + kLoginReplyMs;
  return true;
}

ZCircuitSteps::LoginReply ZCircuitSteps::ReceiveLogin(ZExpBuf& packet, std::vector<std::uint8_t>& bytes,
                                                      std::string& refusal) {
  if (!FConnection.TakePacket(packet, bytes, 'L')) return LoginReply::None;
  const ZLoginBody reply = packet.ParseLogin();
  if (reply.Status != 0) {
    refusal = reply.StatusText;
    return LoginReply::Refused;
  }
  return LoginReply::Accepted;
}

int ZCircuitSteps::SendLogout(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, std::int32_t sequence,
                              const std::string& data_center_id, std::int32_t circuit_number, std::string& error) {
  packet.DataCenterId = data_center_id;
  packet.CircuitNumber = circuit_number;
  packet.CircuitSequence = 0;
  packet.BuildLogout(sequence, FormatNow("mm/dd hh:nn:ss"));
  packet.SetData(0, nullptr);
  return FConnection.SendAndDump(packet, bytes, error);
}

double ZCircuitSteps::SecondsSince(std::uint32_t tick) const {
  return static_cast<double>(FHost.Now() - tick) / 1000.0;
}

}  // namespace zp
