#include "client/scripted/ScriptedTransport.h"

#include <algorithm>
#include <cstring>

#include "platform/AsyncSelect.h"
#include "protocol/ProbeExpBuf.h"

namespace zp::test {

// One client connection and the peer behind it. The peer's writes and close wait in
// `due` until the clock reaches them.
struct ScriptedTransport::Connection final : sim::SimLink {
  struct Action {
    std::uint32_t at;
    std::string bytes;
    bool close = false;
    bool reset = false;
  };
  const std::uint32_t& now;
  std::unique_ptr<sim::SimPeer> peer;
  bool connected = false;
  bool notify = false;
  bool peer_closed = false;
  bool reset = false;
  // As with the platform's notifications, one FD_READ at a time: the next only after a
  // read, so a read that takes everything leaves no notification without data behind.
  bool read_posted = false;
  std::string to_peer;    // bytes sent by the client, not yet framed
  std::string to_client;  // bytes written by the peer, not yet received
  std::vector<Action> due;

  explicit Connection(const std::uint32_t& clock) : now(clock) {}
  std::uint32_t Now() const override { return now; }
  void Send(std::string bytes, std::uint32_t delay_ms) override { due.push_back({now + delay_ms, std::move(bytes)}); }
  void SendBytewise(std::string bytes, std::uint32_t gap_ms, std::uint32_t delay_ms) override {
    for (std::size_t i = 0; i < bytes.size(); ++i)
      due.push_back({now + delay_ms + static_cast<std::uint32_t>(i) * gap_ms, bytes.substr(i, 1)});
  }
  void Close(bool with_reset, std::uint32_t delay_ms) override {
    due.push_back({now + delay_ms, {}, true, with_reset});
  }
};

ScriptedTransport::ScriptedTransport(const std::uint32_t& now) : FNow(now) {}
ScriptedTransport::~ScriptedTransport() = default;

std::string ScriptedTransport::AddRoute(sim::RouteConfig config, const std::string& address, std::int32_t port) {
  FRouteConfigs.push_back(std::make_unique<sim::RouteConfig>(std::move(config)));
  FRouteCounters.push_back(std::make_unique<sim::RouteCounters>());
  const sim::RouteConfig& c = *FRouteConfigs.back();
  sim::RouteCounters& counters = *FRouteCounters.back();
  FEndpoints[address + ":" + std::to_string(port)] = {
      [&c, &counters, this] { return std::make_unique<sim::GatewayRoutePeer>(c, counters, FCircuits); }, c.refuse};
  return c.name + "=" + address + ":" + std::to_string(port);
}

void ScriptedTransport::AddRouteServer(const sim::RouteServerConfig& config, const std::string& address,
                                       std::int32_t port, std::vector<std::string> lines) {
  FServerConfigs.push_back(std::make_unique<sim::RouteServerConfig>(config));
  FServerCounters.push_back(std::make_unique<sim::RouteServerCounters>());
  FServerLines.push_back(std::make_shared<const std::vector<std::string>>(std::move(lines)));
  const sim::RouteServerConfig& c = *FServerConfigs.back();
  sim::RouteServerCounters& counters = *FServerCounters.back();
  auto served = FServerLines.back();
  FEndpoints[address + ":" + std::to_string(port)] = {
      [&c, &counters, served] { return std::make_unique<sim::RouteServerPeer>(c, served, counters); }, false};
}

int ScriptedTransport::Fail(int code) {
  FLastError = code;
  return SOCKET_ERROR;
}

ScriptedTransport::Connection* ScriptedTransport::Find(SOCKET socket) {
  const auto it = FConnections.find(socket);
  return it == FConnections.end() ? nullptr : it->second.get();
}

SOCKET ScriptedTransport::Open() {
  if (open_error != 0) {
    FLastError = open_error;
    return INVALID_SOCKET;
  }
  const SOCKET s = FNextSocket++;
  FConnections[s] = std::make_unique<Connection>(FNow);
  return s;
}

int ScriptedTransport::Connect(SOCKET socket, const std::string& address, std::int32_t port) {
  Connection* c = Find(socket);
  if (c == nullptr) return Fail(WSAENOTSOCK);
  const std::string where = address + ":" + std::to_string(port);
  connects.push_back(where);
  const auto it = FEndpoints.find(where);
  if (it == FEndpoints.end() || it->second.refuse) return Fail(WSAECONNREFUSED);
  c->connected = true;
  c->peer = it->second.make();
  c->peer->OnConnect(*c);
  return 0;
}

int ScriptedTransport::Notify(SOCKET socket, long events) {
  Connection* c = Find(socket);
  if (c == nullptr) return Fail(WSAENOTSOCK);
  if (events != 0 && notify_error != 0) return Fail(notify_error);
  c->notify = events != 0;
  // A connected socket can be written at once.
  if (c->notify && c->connected) FEvents.push_back({socket, FD_WRITE, 0});
  return 0;
}

int ScriptedTransport::Send(SOCKET socket, const std::uint8_t* data, int length) {
  Connection* c = Find(socket);
  if (c == nullptr) return Fail(WSAENOTSOCK);
  if (!c->connected || c->peer_closed) return Fail(c->reset ? WSAECONNRESET : WSAENOTCONN);
  const char type = length > ZExpBuf::PacketTypeOffset ? static_cast<char>(data[ZExpBuf::PacketTypeOffset]) : '?';
  if (send_fault) {
    if (const int code = send_fault(type, FSentOfType[type] + 1); code != 0) return Fail(code);
  }
  if (send_limit > 0 && length > send_limit) length = send_limit;
  c->to_peer.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length));
  for (;;) {
    ZExpBuf packet;
    const int n = packet.Decode(static_cast<int>(c->to_peer.size()), reinterpret_cast<const std::uint8_t*>(c->to_peer.data()));
    if (n <= 0) break;
    c->to_peer.erase(0, static_cast<std::size_t>(n));
    ++FSentOfType[packet.PacketType];
    sent_types.push_back(packet.PacketType);
    sent_sequences.emplace_back(packet.ClientSequence, packet.CircuitSequence);
    c->peer->OnPacket(packet, *c);
  }
  return length;
}

int ScriptedTransport::Receive(SOCKET socket, std::uint8_t* data, int length) {
  Connection* c = Find(socket);
  if (c == nullptr) return Fail(WSAENOTSOCK);
  if (c->to_client.empty()) {
    if (c->reset) return Fail(WSAECONNRESET);
    if (c->peer_closed) return 0;
    return Fail(WSAEWOULDBLOCK);
  }
  const std::size_t n = std::min(c->to_client.size(), static_cast<std::size_t>(std::max(length, 0)));
  std::memcpy(data, c->to_client.data(), n);
  c->to_client.erase(0, n);
  // As with sockets: data still unread after a read is notified again.
  c->read_posted = false;
  if (!c->to_client.empty()) PostRead(socket, *c);
  return static_cast<int>(n);
}

void ScriptedTransport::Close(SOCKET socket) {
  FConnections.erase(socket);
  std::erase_if(FEvents, [socket](const Event& e) { return e.socket == socket; });
}

void ScriptedTransport::PostRead(SOCKET socket, Connection& c) {
  if (!c.notify || c.read_posted) return;
  c.read_posted = true;
  FEvents.push_back({socket, FD_READ, 0});
}

std::optional<std::uint32_t> ScriptedTransport::NextDue() const {
  std::optional<std::uint32_t> next;
  auto consider = [&](std::uint32_t at) {
    if (!next || static_cast<std::int32_t>(at - *next) < 0) next = at;
  };
  for (const auto& [s, c] : FConnections) {
    if (c->peer_closed) continue;
    for (const auto& a : c->due) consider(a.at);
    if (c->peer)
      if (const auto t = c->peer->NextTimer()) consider(*t);
  }
  return next;
}

void ScriptedTransport::Deliver() {
  for (auto& [socket, c] : FConnections) {
    if (c->peer_closed || !c->peer) continue;
    if (const auto t = c->peer->NextTimer(); t && sim::TickReached(FNow, *t)) c->peer->OnTimer(*c);
    // Due actions in the order they were asked for; a close ends the connection.
    std::stable_sort(c->due.begin(), c->due.end(),
                     [](const Connection::Action& a, const Connection::Action& b) {
                       return static_cast<std::int32_t>(a.at - b.at) < 0;
                     });
    std::size_t taken = 0;
    for (; taken < c->due.size() && sim::TickReached(FNow, c->due[taken].at) && !c->peer_closed; ++taken) {
      const Connection::Action& a = c->due[taken];
      if (a.close) {
        c->peer_closed = true;
        c->reset = a.reset;
        if (c->notify) FEvents.push_back({socket, FD_CLOSE, a.reset ? WSAECONNRESET : 0});
      } else {
        c->to_client += a.bytes;
        PostRead(socket, *c);
      }
    }
    c->due.erase(c->due.begin(), c->due.begin() + static_cast<std::ptrdiff_t>(taken));
  }
  // A handler may close the socket or send (so that peers queue more): take one at a time.
  while (!FEvents.empty()) {
    const Event e = FEvents.front();
    FEvents.pop_front();
    if (FHandler && Find(e.socket) != nullptr) FHandler(e.socket, e.event, e.error);
  }
}

}  // namespace zp::test
