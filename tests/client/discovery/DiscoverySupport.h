#pragma once
// Helpers for the loopback tests of the worker's socket path: a route server, a raw
// peer for what the simulator does not offer, and DNS store access.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "GatewaySimulator.h"
#include "framework/Format.h"
#include "platform/Registry.h"
#include "protocol/ProbeExpBuf.h"
#include "support/TestSockets.h"

namespace zp::test {

inline constexpr const char* kDnsRoot = "Software\\Zelvan Corporation\\DNS";

// A simulator with one route server, as `config` says, on an ephemeral loopback port.
struct ServerSim {
  std::unique_ptr<sim::GatewaySimulator> sim;
  std::uint16_t port = 0;
};

inline ServerSim StartServer(sim::RouteServerConfig config) {
  ServerSim s{std::make_unique<sim::GatewaySimulator>(), 0};
  config.port = 0;
  s.port = s.sim->AddRouteServer(config);
  s.sim->Start();
  return s;
}

inline void CacheAddresses(const std::string& store, const std::string& host, const std::vector<std::string>& list) {
  std::vector<Registry::Value> values;
  for (std::size_t i = 0; i < list.size(); ++i)
    values.push_back({std::to_string(i), Registry::ValueType::String, list[i]});
  Registry registry(store);
  if (!registry.ReplaceValues(std::string(kDnsRoot) + "\\" + host, values))
    throw std::runtime_error(registry.LastError());
}

// "%4.4X" of a port, as the probe writes it after an address.
inline std::string HexPort(std::uint16_t port) { return Format("%4.4X", static_cast<unsigned>(port)); }

// The bytes of one encoded packet.
inline std::string Encoded(ZExpBuf& packet) {
  std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
  int length = 0;
  packet.Encode(length, bytes.data());
  return std::string(bytes.begin(), bytes.begin() + length);
}

// A route answer packet whose data part is `text`.
inline std::string RouteAnswer(const std::string& text) {
  ZExpBuf p;
  p.PacketType = 'R';
  p.ClientSequence = 1;
  p.SetData(static_cast<int>(text.size()), reinterpret_cast<const std::uint8_t*>(text.data()));
  return Encoded(p);
}

// A raw peer on a loopback address: accepts one connection and runs `script` on it on
// its own thread. It stands for a remote host doing what the simulator does not offer,
// so it works on the system's plain sockets. The script should check Stopping() in long waits.
class ScriptedPeer {
 public:
  using Script = std::function<void(ScriptedPeer& self, RawSocket fd)>;

  // `receive_buffer` > 0 shrinks the accepted socket's receive buffer.
  ScriptedPeer(Script script, const std::string& address = "127.0.0.1", std::uint16_t port = 0,
               int receive_buffer = 0) {
    listener_ = RawListen(4, port_, address, port, receive_buffer);
    if (listener_ == kNoRawSocket) throw std::runtime_error("cannot listen on " + address);
    thread_ = std::thread([this, script = std::move(script)] {
      const RawSocket fd = AcceptOne();
      if (fd != kNoRawSocket) {
        script(*this, fd);
        RawClose(fd);
      }
      done_ = true;
    });
  }
  ~ScriptedPeer() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    RawClose(listener_);
  }
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  std::uint16_t Port() const { return port_; }
  // Waits up to `ms` real milliseconds for the script to end; false if it has not.
  bool WaitDone(int ms) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return done_;
  }
  bool Stopping() const { return stopping_; }
  bool Accepted() const { return accepted_; }

  // Waits for bytes up to `ms`; false on a stop or when none came.
  bool WaitReadable(RawSocket fd, int ms) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping_ && std::chrono::steady_clock::now() < end) {
      if (RawWaitReadable(fd, 20)) return true;
    }
    return false;
  }
  // Reads until one whole packet has arrived; false on end of stream or a stop.
  bool ReadPacket(RawSocket fd) {
    std::string got;
    ZExpBuf p;
    while (!stopping_) {
      if (!RawWaitReadable(fd, 20)) continue;
      char chunk[8192];
      const long n = RawReceive(fd, chunk, sizeof chunk);
      if (n <= 0) return false;
      got.append(chunk, static_cast<std::size_t>(n));
      if (p.Decode(static_cast<int>(got.size()), reinterpret_cast<const std::uint8_t*>(got.data())) > 0)
        return true;
    }
    return false;
  }
  static void Write(RawSocket fd, const std::string& bytes) { RawSendAll(fd, bytes); }
  // Sleeps up to `ms` real milliseconds, less when asked to stop.
  void Sleep(int ms) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping_ && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  // The close after the script then resets the connection.
  static void Reset(RawSocket fd) { RawSetResetOnClose(fd); }

 private:
  RawSocket AcceptOne() {
    while (!stopping_) {
      if (!RawWaitReadable(listener_, 20)) continue;
      const RawSocket fd = RawAccept(listener_);
      if (fd != kNoRawSocket) {
        accepted_ = true;
        return fd;
      }
    }
    return kNoRawSocket;
  }

  RawSocket listener_ = kNoRawSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> accepted_{false};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace zp::test
