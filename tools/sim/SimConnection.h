#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "StreamFramer.h"
#include "SimPeer.h"
#include "SimSocket.h"
#include "protocol/ProbeExpBuf.h"

namespace zp::sim {

// One accepted connection: its socket, the framer of what arrives, the writes its peer
// logic asked for (some of them later) and that logic itself. Serviced only by the
// simulator's thread; never blocks.
class SimConnection final : public SimLink {
 public:
  // Writes a peer may leave unread before it counts as a flood and is dropped.
  static constexpr std::size_t kMaxPendingOutput = 1 << 20;

  // Takes ownership of the non-blocking socket `socket`.
  SimConnection(SocketHandle socket, std::unique_ptr<SimPeer> peer, std::uint32_t now);
  ~SimConnection();
  SimConnection(const SimConnection&) = delete;
  SimConnection& operator=(const SimConnection&) = delete;

  SocketHandle Socket() const { return FSocket; }
  bool Open() const { return FSocket != kNoSocket; }
  // Lets the peer act on the new connection (some close it at once).
  void Begin();
  // The events to poll for while open (kPollReadable, kPollWritable).
  short PollEvents() const;
  // One pass: reads what arrived, runs the peer's timer when due, writes what is due.
  void Service(short revents, std::uint32_t now);
  // Tick milliseconds from `now` until the connection has something to do on its own.
  std::optional<std::int64_t> MsUntilDue(std::uint32_t now) const;

  std::uint32_t Now() const override { return FNow; }
  void Send(std::string bytes, std::uint32_t delay_ms = 0) override;
  void SendBytewise(std::string bytes, std::uint32_t gap_ms, std::uint32_t delay_ms = 0) override;
  void Close(bool reset, std::uint32_t delay_ms = 0) override;

 private:
  enum class Action { Write, Close, Reset };
  struct Output {
    Action action = Action::Write;
    std::string bytes;
    std::size_t offset = 0;    // bytes before this are written
    std::uint32_t due = 0;     // tick at which the next write may happen
    std::uint64_t order = 0;   // when it was asked for
    std::uint32_t gap_ms = 0;  // bytewise: the pause between single-byte sends
    bool bytewise = false;
  };

  void Schedule(Output out, std::uint32_t delay_ms);
  void ReadAvailable();
  void PromoteDue();
  void Flush();
  void Shut(bool reset);

  SocketHandle FSocket;
  std::unique_ptr<SimPeer> FPeer;
  std::uint32_t FNow;
  StreamFramer FFramer;
  ZExpBuf FPacket;
  std::vector<Output> FScheduled;  // not yet due
  std::deque<Output> FQueue;       // due, written strictly in order
  std::uint64_t FNextOrder = 0;
  std::size_t FPendingBytes = 0;
  bool FWantWrite = false;
};

}  // namespace zp::sim
