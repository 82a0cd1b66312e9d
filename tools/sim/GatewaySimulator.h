#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "GatewayRoutePeer.h"
#include "RouteConfig.h"
#include "RouteCounters.h"
#include "RouteServerConfig.h"
#include "SimSocket.h"

namespace zp::sim {

// Route servers and gateway routes on loopback, served by one background thread that
// polls every listener and connection. Its timers run on the platform tick, so a test
// that scales time speeds the simulator up together with the client.
//
//   GatewaySimulator sim;
//   sim.AddRouteServer({.port = 0});               // -> the bound port
//   std::string r1 = sim.AddRoute({.name = "r1"});  // -> "r1=127.0.0.1:<port>"
//   sim.Start();  ...  sim.Stats("r1").logins  ...  sim.Stop();
//
// Add routes and route servers before Start; they bind at once and throw
// std::runtime_error when they cannot, std::invalid_argument for a bad configuration
// and std::logic_error after Start. Stats may be read from any thread.
class GatewaySimulator {
 public:
  // Connections served at once; further ones are closed as soon as they are accepted.
  static constexpr std::size_t kMaxConnections = 1024;

  GatewaySimulator();
  ~GatewaySimulator();  // stops and joins the thread
  GatewaySimulator(const GatewaySimulator&) = delete;
  GatewaySimulator& operator=(const GatewaySimulator&) = delete;

  // Returns the port it listens on. Its answer lists every route added before Start.
  std::uint16_t AddRouteServer(const RouteServerConfig& config);
  // Returns the route entry text, name "=" address ":" port.
  std::string AddRoute(const RouteConfig& config);

  // std::invalid_argument when a route server's list does not fit in one answer: the
  // message says how many entries fit.
  void Start();
  void Stop();
  bool Running() const { return FThread.joinable(); }

  // Counters of the route called `name` (std::out_of_range when there is none).
  RouteStats Stats(std::string_view name) const;
  // Counters of the route server added `index`-th (from 0).
  RouteServerStats ServerStats(std::size_t index) const;
  std::vector<std::string> RouteEntries() const;
  std::vector<std::string> RouteServerAddresses() const;  // "address:port"
  // "READY route-server=127.0.0.1:26880 route-server-hex=127.0.0.1:6900
  //  route-ports-hex=r1:9C41,... routes=r1=127.0.0.1:40001,..." (one line)
  std::string ReadyLine() const;

 private:
  struct RouteSlot {
    RouteConfig config;
    std::string entry;
    SocketHandle listener = kNoSocket;
    RouteCounters counters;
  };
  struct ServerSlot {
    RouteServerConfig config;
    std::uint16_t port = 0;
    SocketHandle listener = kNoSocket;
    std::shared_ptr<const std::vector<std::string>> lines;
    RouteServerCounters counters;
  };
  struct Listener {
    SocketHandle socket;
    std::function<std::unique_ptr<SimPeer>()> make_peer;
  };

  void RequireNotStarted(const char* what) const;
  void Run(std::vector<Listener> listeners);
  void CloseListeners();

  // Slots keep fixed addresses: peers hold references to their configuration and counters.
  std::vector<std::unique_ptr<RouteSlot>> FRoutes;
  std::vector<std::unique_ptr<ServerSlot>> FServers;
  CircuitNumbers FCircuits;  // used by the thread only
  WakeUp FWakeUp;
  std::atomic<bool> FStopping{false};
  bool FStarted = false;
  std::thread FThread;
};

}  // namespace zp::sim
