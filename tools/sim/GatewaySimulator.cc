#include "GatewaySimulator.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "RouteServerPeer.h"
#include "SimConnection.h"
#include "SimSocket.h"
#include "platform/Tick.h"

namespace zp::sim {
namespace {

// Accepts per listener and pass, so that a burst of connects cannot starve the rest.
constexpr int kAcceptsPerPass = 64;
constexpr std::uint32_t kAcceptPauseMs = 100;

std::string ListTooLong(const std::string& address, unsigned port, std::size_t fit, std::size_t lines) {
  char text[256];
  std::snprintf(text, sizeof text,
                "the route list of route server %s:%u does not fit in one answer, which is all the probe reads: "
                "%zu of its %zu route entries fit (fewer routes, or shorter names)",
                address.c_str(), port, fit, lines);
  return text;
}

}  // namespace

GatewaySimulator::GatewaySimulator() = default;

GatewaySimulator::~GatewaySimulator() {
  Stop();
  CloseListeners();
}

void GatewaySimulator::RequireNotStarted(const char* what) const {
  if (FStarted) throw std::logic_error(std::string(what) + " after Start");
}

std::uint16_t GatewaySimulator::AddRouteServer(const RouteServerConfig& config) {
  RequireNotStarted("AddRouteServer");
  auto slot = std::make_unique<ServerSlot>();
  slot->config = config;
  slot->listener = ListenOn(config.address, config.port, slot->port);
  FServers.push_back(std::move(slot));
  return FServers.back()->port;
}

std::string GatewaySimulator::AddRoute(const RouteConfig& config) {
  RequireNotStarted("AddRoute");
  if (!IsValidRouteName(config.name)) throw std::invalid_argument("bad route name '" + config.name + "'");
  for (const auto& r : FRoutes)
    if (r->config.name == config.name) throw std::invalid_argument("route '" + config.name + "' given twice");
  auto slot = std::make_unique<RouteSlot>();
  slot->config = config;
  std::uint16_t port = 0;
  if (config.refuse)
    port = ReserveClosedPort(config.address, config.port);
  else
    slot->listener = ListenOn(config.address, config.port, port);
  slot->config.port = port;
  slot->entry = config.name + "=" + config.address + ":" + std::to_string(port);
  FRoutes.push_back(std::move(slot));
  return FRoutes.back()->entry;
}

void GatewaySimulator::Start() {
  RequireNotStarted("Start");
  const std::vector<std::string> entries = RouteEntries();
  for (auto& s : FServers) {
    auto lines = std::make_shared<std::vector<std::string>>();
    if (s->config.list_routes) *lines = entries;
    lines->insert(lines->end(), s->config.extra_lines.begin(), s->config.extra_lines.end());
    // The probe reads one answer: a list cut to what fits would be a test of fewer routes
    // than asked for, with nothing to say so.
    const std::size_t fit = RouteServerPeer::LinesThatFit(s->config, *lines);
    if (fit < lines->size())
      throw std::invalid_argument(ListTooLong(s->config.address, s->port, fit, lines->size()));
    s->lines = std::move(lines);
  }
  FStarted = true;
  std::vector<Listener> listeners;
  for (auto& s : FServers) {
    ServerSlot* slot = s.get();
    listeners.push_back({slot->listener, [slot] {
                           return std::make_unique<RouteServerPeer>(slot->config, slot->lines, slot->counters);
                         }});
  }
  for (auto& r : FRoutes) {
    if (r->listener == kNoSocket) continue;
    RouteSlot* slot = r.get();
    listeners.push_back({slot->listener, [this, slot] {
                           return std::make_unique<GatewayRoutePeer>(slot->config, slot->counters, FCircuits);
                         }});
  }
  FThread = std::thread(&GatewaySimulator::Run, this, std::move(listeners));
}

void GatewaySimulator::Stop() {
  if (!FThread.joinable()) return;
  FStopping = true;
  FWakeUp.Raise();
  FThread.join();
  CloseListeners();
}

void GatewaySimulator::CloseListeners() {
  for (auto& s : FServers) {
    CloseSocket(s->listener, false);
    s->listener = kNoSocket;
  }
  for (auto& r : FRoutes) {
    CloseSocket(r->listener, false);
    r->listener = kNoSocket;
  }
}

void GatewaySimulator::Run(std::vector<Listener> listeners) {
  std::vector<std::unique_ptr<SimConnection>> connections;
  std::vector<PollItem> fds;
  // Out of descriptors, a pending connect keeps its listener readable while accept
  // fails: stop watching the listeners for a moment instead of spinning.
  bool accept_paused = false;
  std::uint32_t accept_paused_until = 0;
  while (!FStopping) {
    // Phases of one pass: the time, the earliest deadline, the wait, then what is due.
    std::uint32_t now = GetTickCount();
    if (accept_paused && TickReached(now, accept_paused_until)) accept_paused = false;
    long timeout = accept_paused ? static_cast<long>(accept_paused_until - now) : -1;
    for (const auto& c : connections)
      if (const auto ms = c->MsUntilDue(now); ms && (timeout < 0 || *ms < timeout)) timeout = static_cast<long>(*ms);

    fds.clear();
    fds.push_back({FWakeUp.Handle(), kPollReadable, 0});
    for (const Listener& l : listeners) fds.push_back({l.socket, accept_paused ? short{0} : kPollReadable, 0});
    for (const auto& c : connections) fds.push_back({c->Socket(), c->PollEvents(), 0});
    if (!PollSockets(fds, timeout)) break;
    if (FStopping) break;

    now = GetTickCount();
    const std::size_t existing = connections.size();
    for (std::size_t i = 0; i < existing; ++i) connections[i]->Service(fds[1 + listeners.size() + i].revents, now);
    for (std::size_t i = 0; i < listeners.size(); ++i) {
      if (!(fds[1 + i].revents & kPollReadable)) continue;
      for (int k = 0; k < kAcceptsPerPass; ++k) {
        bool out_of_resources = false;
        const SocketHandle fd = AcceptConnection(listeners[i].socket, out_of_resources);
        if (fd == kNoSocket) {
          if (out_of_resources) {
            accept_paused = true;
            accept_paused_until = now + kAcceptPauseMs;
          }
          break;
        }
        if (connections.size() >= kMaxConnections) {
          CloseSocket(fd, true);
          continue;
        }
        connections.push_back(std::make_unique<SimConnection>(fd, listeners[i].make_peer(), now));
        connections.back()->Begin();
      }
    }
    std::erase_if(connections, [](const auto& c) { return !c->Open(); });
  }
}

RouteStats GatewaySimulator::Stats(std::string_view name) const {
  for (const auto& r : FRoutes)
    if (r->config.name == name) return r->counters.Snapshot();
  throw std::out_of_range("no route '" + std::string(name) + "'");
}

RouteServerStats GatewaySimulator::ServerStats(std::size_t index) const {
  return FServers.at(index)->counters.Snapshot();
}

std::vector<std::string> GatewaySimulator::RouteEntries() const {
  std::vector<std::string> entries;
  for (const auto& r : FRoutes) entries.push_back(r->entry);
  return entries;
}

std::vector<std::string> GatewaySimulator::RouteServerAddresses() const {
  std::vector<std::string> addresses;
  for (const auto& s : FServers) addresses.push_back(s->config.address + ":" + std::to_string(s->port));
  return addresses;
}

std::string GatewaySimulator::ReadyLine() const {
  const auto join = [](const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ",") + item;
    return out;
  };
  const auto hex = [](unsigned port) {
    char text[8];
    std::snprintf(text, sizeof text, "%X", port);
    return std::string(text);
  };
  // The same ports in hexadecimal, as the probe's Port box takes them and its trace shows
  // them. They come before "routes=", which scripts read to the end of the line.
  std::vector<std::string> servers_hex, routes_hex;
  for (const auto& s : FServers) servers_hex.push_back(s->config.address + ":" + hex(s->port));
  for (const auto& r : FRoutes) routes_hex.push_back(r->config.name + ":" + hex(r->config.port));
  return "READY route-server=" + join(RouteServerAddresses()) + " route-server-hex=" + join(servers_hex) +
         " route-ports-hex=" + join(routes_hex) + " routes=" + join(RouteEntries());
}

}  // namespace zp::sim
