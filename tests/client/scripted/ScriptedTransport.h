#pragma once
// A gateway transport without sockets: each address hosts one of the simulator's peers
// (route server or gateway route), driven by a clock the test owns. What the client sends
// is framed and handed to the peer; what the peer writes arrives as FD_READ when the
// client's waits deliver, so exchanges run as they do over sockets, with no thread and no
// wall-clock time.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "GatewayRoutePeer.h"
#include "RouteServerPeer.h"
#include "SimPeer.h"
#include "client/GatewayTransport.h"

namespace zp::test {

class ScriptedTransport final : public GatewayTransport {
 public:
  explicit ScriptedTransport(const std::uint32_t& now);
  ~ScriptedTransport() override;

  // --- the peers and the faults ---
  // A healthy route by default; returns "name=address:port".
  std::string AddRoute(sim::RouteConfig config, const std::string& address, std::int32_t port);
  void AddRouteServer(const sim::RouteServerConfig& config, const std::string& address, std::int32_t port,
                      std::vector<std::string> lines);
  int open_error = 0;    // Open fails with this code
  int notify_error = 0;  // asking for notifications fails with this code
  // Called for each send before it is taken; a non-zero result fails the send with that
  // code (WSAEWOULDBLOCK included). `type` is the packet type at the start of the bytes.
  std::function<int(char type, int nth_of_type)> send_fault;

  // Runs the peers' due writes, closes and timers, then every queued notification.
  void Deliver();
  // The earliest moment a peer wants to act, if any.
  std::optional<std::uint32_t> NextDue() const;

  // What the n-th route added (from 0) has taken so far.
  sim::RouteStats RouteStats(std::size_t n) const { return FRouteCounters.at(n)->Snapshot(); }
  sim::RouteServerStats ServerStats(std::size_t n) const { return FServerCounters.at(n)->Snapshot(); }

  std::vector<std::string> connects;  // "address:port", in order
  std::vector<char> sent_types;       // the type of every packet taken whole, in order
  // The client and circuit sequence numbers of every packet taken whole, in order.
  std::vector<std::pair<std::int32_t, std::int32_t>> sent_sequences;
  int send_limit = 0;  // the most bytes one send takes (0: all it is given)

  // --- GatewayTransport ---
  void SetEventHandler(EventHandler handler) override { FHandler = std::move(handler); }
  SOCKET Open() override;
  int Connect(SOCKET socket, const std::string& address, std::int32_t port) override;
  int Notify(SOCKET socket, long events) override;
  int Send(SOCKET socket, const std::uint8_t* data, int length) override;
  int Receive(SOCKET socket, std::uint8_t* data, int length) override;
  void Close(SOCKET socket) override;
  int LastError() const override { return FLastError; }

 private:
  struct Connection;
  struct Endpoint {
    std::function<std::unique_ptr<sim::SimPeer>()> make;
    bool refuse = false;
  };
  struct Event {
    SOCKET socket;
    int event;
    int error;
  };
  Connection* Find(SOCKET socket);
  void PostRead(SOCKET socket, Connection& c);
  int Fail(int code);

  const std::uint32_t& FNow;
  std::map<std::string, Endpoint> FEndpoints;
  std::vector<std::unique_ptr<sim::RouteConfig>> FRouteConfigs;
  std::vector<std::unique_ptr<sim::RouteServerConfig>> FServerConfigs;
  std::vector<std::shared_ptr<const std::vector<std::string>>> FServerLines;
  std::vector<std::unique_ptr<sim::RouteCounters>> FRouteCounters;
  std::vector<std::unique_ptr<sim::RouteServerCounters>> FServerCounters;
  sim::CircuitNumbers FCircuits;
  std::map<SOCKET, std::unique_ptr<Connection>> FConnections;
  std::deque<Event> FEvents;
  std::map<char, int> FSentOfType;
  EventHandler FHandler;
  SOCKET FNextSocket = 0x100;
  int FLastError = 0;
};

}  // namespace zp::test
