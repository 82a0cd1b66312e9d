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
    : socket_(socket), peer_(std::move(peer)), now_(now) {}

SimConnection::~SimConnection() { Shut(false); }

void SimConnection::Begin() {
  peer_->OnConnect(*this);
  PromoteDue();
  Flush();
}

short SimConnection::PollEvents() const {
  if (!Open()) return 0;
  return static_cast<short>(kPollReadable | (want_write_ ? kPollWritable : 0));
}

void SimConnection::Service(short revents, std::uint32_t now) {
  now_ = now;
  if (!Open()) return;
  if (revents & kPollWritable) want_write_ = false;
  if (revents & (kPollReadable | kPollHangUp | kPollError)) ReadAvailable();
  if (!Open()) return;
  if (const auto t = peer_->NextTimer(); t && TickReached(now_, *t)) peer_->OnTimer(*this);
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
  if (const auto t = peer_->NextTimer()) consider(*t);
  for (const Output& o : scheduled_) consider(o.due);
  // A head that waits for writability is woken by the socket, not by time.
  if (!queue_.empty() && !want_write_) consider(queue_.front().due);
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
  pending_bytes_ += out.bytes.size();
  if (pending_bytes_ > kMaxPendingOutput) {
    // The peer does not read what it asks for: stop serving it.
    Shut(true);
    return;
  }
  out.due = now_ + delay_ms;
  out.order = next_order_++;
  scheduled_.push_back(std::move(out));
}

void SimConnection::ReadAvailable() {
  std::array<std::uint8_t, kReadChunk> chunk;
  for (int i = 0; i < kReadsPerPass && Open(); ++i) {
    const long n = ReceiveSome(socket_, chunk.data(), chunk.size());
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
    framer_.Append(chunk.data(), static_cast<std::size_t>(n));
    while (Open() && framer_.Next(packet_)) peer_->OnPacket(packet_, *this);
    if (framer_.Overflowed()) {
      Shut(true);
      return;
    }
  }
}

void SimConnection::PromoteDue() {
  if (scheduled_.empty()) return;
  // Items due by now go to the queue earliest first, ties in the order asked for.
  const auto not_due = std::stable_partition(scheduled_.begin(), scheduled_.end(),
                                             [this](const Output& o) { return !TickReached(now_, o.due); });
  std::vector<Output> due(std::make_move_iterator(not_due), std::make_move_iterator(scheduled_.end()));
  scheduled_.erase(not_due, scheduled_.end());
  std::sort(due.begin(), due.end(), [this](const Output& a, const Output& b) {
    const std::int32_t da = SignedDiff(a.due, now_), db = SignedDiff(b.due, now_);
    return da != db ? da < db : a.order < b.order;
  });
  for (Output& o : due) {
    o.due = now_;
    queue_.push_back(std::move(o));
  }
}

void SimConnection::Flush() {
  while (Open() && !queue_.empty() && !want_write_) {
    Output& head = queue_.front();
    if (!TickReached(now_, head.due)) return;
    if (head.action != Action::Write) {
      Shut(head.action == Action::Reset);
      return;
    }
    const std::size_t left = head.bytes.size() - head.offset;
    if (left > 0) {
      const std::size_t n = head.bytewise ? 1 : left;
      const long sent = SendSome(socket_, head.bytes.data() + head.offset, n);
      if (sent == kWouldBlock) {
        want_write_ = true;
        return;
      }
      if (sent < 0) {
        Shut(false);
        return;
      }
      head.offset += static_cast<std::size_t>(sent);
      pending_bytes_ -= static_cast<std::size_t>(sent);
      if (head.offset < head.bytes.size()) {
        if (head.bytewise) head.due = now_ + head.gap_ms;
        continue;
      }
    }
    queue_.pop_front();
  }
}

void SimConnection::Shut(bool reset) {
  if (!Open()) return;
  CloseSocket(socket_, reset);
  socket_ = kNoSocket;
  scheduled_.clear();
  queue_.clear();
  pending_bytes_ = 0;
}

}  // namespace zp::sim
