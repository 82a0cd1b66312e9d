#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "client/ExchangeHost.h"
#include "client/GatewayConnection.h"
#include "protocol/ProbeExpBuf.h"
#include "run/RunRecord.h"

namespace zp {

// What one route request came to.
struct RouteRequestResult {
  bool connected = false;  // a connection was had: the host's other addresses are not asked
  ServerOutcome outcome = ServerOutcome::Stopped;
  std::string detail;
  int error = 0;                   // the socket error of a connect or send that failed
  std::vector<std::string> lines;  // the answer's lines, its status line first
};

// One route request: connect to one address of a route server, send the request, take
// the answer or time out. Made for one address, run once.
class ZRouteRequest {
 public:
  // `round` is the discovery round that asks (1 or 2). Everything given must outlive it.
  ZRouteRequest(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings,
                std::string address, std::int32_t port, std::string route_code, int round);

  // Sends `body` as the request's data part; frees the socket at the end.
  RouteRequestResult Run(const std::string& body);

 private:
  enum class State { kTxRequest, kRxResponse, kAbort };

  bool Connect();
  void SendRequest(const std::string& body);
  void ReceiveResponse();
  void End(ServerOutcome outcome, const std::string& detail);

  ExchangeHost& FHost;
  ZGatewayConnection& FConnection;
  const ExchangeSettings& FSettings;
  const std::string FAddress;
  const std::int32_t FPort;
  const std::string FRouteCode;
  const int FRound;
  const std::string FWhere;  // "address:port", the port in hex, as the trace names the server

  State FState = State::kTxRequest;
  std::uint32_t FDeadline = 0;
  bool FDone = false;
  bool FEnded = false;
  RouteRequestResult FResult;
  ZExpBuf FPacket;
  std::vector<std::uint8_t> FBytes;
};

}  // namespace zp
