#include "SimConnection.h"

#include <algorithm>
#include <array>

#include "SimSocket.h"

namespace zp::sim {
namespace {
constexpr std::size_t kReadChunk = 16 * 1024;
// Reads per pass, so that one peer that never stops sending cannot starve the others.
constexpr int kReadsPerPass = 16;

std::int32_t SignedDiff(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b); }
}  // namespace

SimConnection::SimConnection(SocketHandle socket, std::unique_ptr<SimPeer> peer, std::uint32_t now)
    : FSocket(socket), FPeer(std::move(peer)), FNow(now) {}

SimConnection::~SimConnection() { Shut(false); }

void SimConnection::Begin() {
  FPeer->OnConnect(*this);
  PromoteDue();
  Flush();
}

short SimConnection::PollEvents() const {
  if (!Open()) return 0;
  return static_cast<short>(kPollReadable | (FWantWrite ? kPollWritable : 0));
}

void SimConnection::Service(short revents, std::uint32_t now) {
  FNow = now;
  if (!Open()) return;
  if (revents & kPollWritable) FWantWrite = false;
  if (revents & (kPollReadable | kPollHangUp | kPollError)) ReadAvailable();
  if (!Open()) return;
  if (const auto t = FPeer->NextTimer(); t && TickReached(FNow, *t)) FPeer->OnTimer(*this);
  PromoteDue();
  Flush();
}

std::optional<std::int64_t> SimConnection::MsUntilDue(std::uint32_t now) const {
  if (!Open()) return std::nullopt;
  std::optional<std::int64_t> best;
  const auto consider = [&](std::uint32_t due) {
    const std::int64_t ms = std::max<std::int64_t>(0, SignedDiff(due, now));
    if (!best || ms < *best) best = ms;
  };
  if (const auto t = FPeer->NextTimer()) consider(*t);
  for (const Output& o : FScheduled) consider(o.due);
  // A head that waits for writability is woken by the socket, not by time.
  if (!FQueue.empty() && !FWantWrite) consider(FQueue.front().due);
  return best;
}

void SimConnection::Send(std::string bytes, std::uint32_t delay_ms) {
  Output out;
  out.bytes = std::move(bytes);
  Schedule(std::move(out), delay_ms);
}

void SimConnection::SendBytewise(std::string bytes, std::uint32_t gap_ms, std::uint32_t delay_ms) {
  Output out;
  out.bytes = std::move(bytes);
  out.bytewise = true;
  out.gap_ms = gap_ms;
  Schedule(std::move(out), delay_ms);
}

void SimConnection::Close(bool reset, std::uint32_t delay_ms) {
  Output out;
  out.action = reset ? Action::Reset : Action::Close;
  Schedule(std::move(out), delay_ms);
}

void SimConnection::Schedule(Output out, std::uint32_t delay_ms) {
  if (!Open()) return;
  FPendingBytes += out.bytes.size();
  if (FPendingBytes > kMaxPendingOutput) {
    // The peer does not read what it asks for: stop serving it.
    Shut(true);
    return;
  }
  out.due = FNow + delay_ms;
  out.order = FNextOrder++;
  FScheduled.push_back(std::move(out));
}

void SimConnection::ReadAvailable() {
  std::array<std::uint8_t, kReadChunk> chunk;
  for (int i = 0; i < kReadsPerPass && Open(); ++i) {
    const long n = ReceiveSome(FSocket, chunk.data(), chunk.size());
    if (n == kWouldBlock) return;
    if (n < 0) {
      Shut(false);
      return;
    }
    if (n == 0) {
      // The client has gone: nothing more it could read.
      Shut(false);
      return;
    }
    FFramer.Append(chunk.data(), static_cast<std::size_t>(n));
    while (Open() && FFramer.Next(FPacket)) FPeer->OnPacket(FPacket, *this);
    if (FFramer.Overflowed()) {
      Shut(true);
      return;
    }
  }
}

void SimConnection::PromoteDue() {
  if (FScheduled.empty()) return;
  // Items due by now go to the queue earliest first, ties in the order asked for.
  const auto not_due = std::stable_partition(FScheduled.begin(), FScheduled.end(),
                                             [this](const Output& o) { return !TickReached(FNow, o.due); });
  std::vector<Output> due(std::make_move_iterator(not_due), std::make_move_iterator(FScheduled.end()));
  FScheduled.erase(not_due, FScheduled.end());
  std::sort(due.begin(), due.end(), [this](const Output& a, const Output& b) {
    const std::int32_t da = SignedDiff(a.due, FNow), db = SignedDiff(b.due, FNow);
    return da != db ? da < db : a.order < b.order;
  });
  for (Output& o : due) {
    o.due = FNow;
    FQueue.push_back(std::move(o));
  }
}

void SimConnection::Flush() {
  while (Open() && !FQueue.empty() && !FWantWrite) {
    Output& head = FQueue.front();
    if (!TickReached(FNow, head.due)) return;
    if (head.action != Action::Write) {
      Shut(head.action == Action::Reset);
      return;
    }
    const std::size_t left = head.bytes.size() - head.offset;
    if (left > 0) {
      const std::size_t n = head.bytewise ? 1 : left;
      const long sent = SendSome(FSocket, head.bytes.data() + head.offset, n);
      if (sent == kWouldBlock) {
        FWantWrite = true;
        return;
      }
      if (sent < 0) {
        Shut(false);
        return;
      }
      head.offset += static_cast<std::size_t>(sent);
      FPendingBytes -= static_cast<std::size_t>(sent);
      if (head.offset < head.bytes.size()) {
        if (head.bytewise) head.due = FNow + head.gap_ms;
        continue;
      }
    }
    FQueue.pop_front();
  }
}

void SimConnection::Shut(bool reset) {
  if (!Open()) return;
  CloseSocket(FSocket, reset);
  FSocket = kNoSocket;
  FScheduled.clear();
  FQueue.clear();
  FPendingBytes = 0;
}

}  // namespace zp::sim
