#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "run/RouteEntry.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

// The steps that route profiling and key synchronisation share on a gateway route:
// connecting to the route, the login and its reply, and the logout. It keeps nothing
// between calls.
class ZCircuitSteps {
 public:
  using ConnectResult = ZGatewayConnection::ConnectResult;

  // Between two passes of an exchange's loop.
  static constexpr long kStepPauseMs = 50;

  enum class LoginReply { None, Accepted, Refused };

  ZCircuitSteps(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings);

  // "0: connect via route …", then "0: connect() failed to …" (the socket freed again)
  // or "0: Connected to …", followed by "0: WSAAsyncSelect() err …" when the
  // notifications cannot be had. NoSocket sets `final_text` to its report; every failure
  // leaves its error text in `error`. The connect is recorded as a wait on `target`.
  ConnectResult ConnectRoute(const RouteEntryParts& route, const std::string& target, std::string& final_text,
                             std::string& error);

  // Builds the login of `mode` ('P' profiling, 'K' key) with a new login sequence number
  // (returned in `sequence`) and sends it. True when sent, with `deadline` set for its
  // reply; else `error` holds the socket error's text.
  bool SendLogin(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, char mode, std::int32_t& sequence,
                 std::uint32_t& deadline, std::string& error);
  // Takes the next queued login reply: None when there is none yet (`refusal` is left
  // alone); Refused with the reply's status text in `refusal`; Accepted (the packet then
  // holds the reply's header: data centre and circuit number).
  LoginReply ReceiveLogin(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, std::string& refusal);
  // The logout of the circuit, with the local time as its free text. 0 when sent.
  int SendLogout(ZExpBuf& packet, std::vector<std::uint8_t>& bytes, std::int32_t sequence,
                 const std::string& data_center_id, std::int32_t circuit_number, std::string& error);

  double SecondsSince(std::uint32_t tick) const;

 private:
  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  const ExchangeSettings& FSettings;
};

}  // namespace zp
