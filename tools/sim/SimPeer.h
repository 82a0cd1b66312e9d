#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/ProbeExpBuf.h"

namespace zp::sim {

// The writing side of one accepted connection, as a peer's logic sees it. Nothing is
// written at once: the connection writes when its thread next services it, so a peer
// never re-enters itself.
class SimLink {
 public:
  // The platform tick at the start of the current service pass.
  virtual std::uint32_t Now() const = 0;
  // Writes `bytes` in one send `delay_ms` from now. Writes that fall due together keep
  // the order in which they were asked for.
  virtual void Send(std::string bytes, std::uint32_t delay_ms = 0) = 0;
  // As Send, but one byte per send with a pause of `gap_ms` between them.
  virtual void SendBytewise(std::string bytes, std::uint32_t gap_ms, std::uint32_t delay_ms = 0) = 0;
  // Closes the connection `delay_ms` from now, after every write asked for before it;
  // with `reset` the peer sees a reset (SO_LINGER 0) instead of an orderly close.
  virtual void Close(bool reset, std::uint32_t delay_ms = 0) = 0;

 protected:
  ~SimLink() = default;
};

// The protocol logic of one connection. It sees packets already framed, never the
// socket, and all calls come from the simulator's thread.
class SimPeer {
 public:
  virtual ~SimPeer() = default;
  virtual void OnConnect(SimLink& /*link*/) {}
  virtual void OnPacket(const ZExpBuf& packet, SimLink& link) = 0;
  // The tick at which OnTimer wants to run, if any.
  virtual std::optional<std::uint32_t> NextTimer() const { return std::nullopt; }
  virtual void OnTimer(SimLink& /*link*/) {}
};

// A packet's bytes on the wire.
inline std::string Encoded(ZExpBuf& packet) {
  std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
  int length = 0;
  packet.Encode(length, bytes.data());
  return std::string(bytes.begin(), bytes.begin() + length);
}

// True when the tick `now` has reached `due`, across the counter's wrap.
inline bool TickReached(std::uint32_t now, std::uint32_t due) {
  return static_cast<std::int32_t>(now - due) >= 0;
}

}  // namespace zp::sim
