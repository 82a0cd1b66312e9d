#pragma once
// A plain blocking client for tests of the simulator: it writes packets made with
// ZExpBuf and frames the replies itself, independently of the simulator's framer.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "protocol/ProbeExpBuf.h"
#include "support/TestSockets.h"

namespace zp::sim::testing {

class LoopbackClient {
 public:
  explicit LoopbackClient(std::uint16_t port, const char* address = "127.0.0.1")
      : fd_(test::RawConnect(address, port, connect_error_)) {}
  ~LoopbackClient() { test::RawClose(fd_); }
  LoopbackClient(const LoopbackClient&) = delete;
  LoopbackClient& operator=(const LoopbackClient&) = delete;

  bool Connected() const { return fd_ != test::kNoRawSocket; }
  // The system's code (see test::RefusedError).
  int ConnectError() const { return connect_error_; }

  void Send(ZExpBuf& packet) {
    std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
    int length = 0;
    packet.Encode(length, bytes.data());
    SendRaw(std::string_view(reinterpret_cast<const char*>(bytes.data()), static_cast<std::size_t>(length)));
  }
  bool SendRaw(std::string_view bytes) {
    return test::RawSendAll(fd_, bytes);
  }

  // The next packet within `timeout_ms`; false on time-out or when the peer closed.
  bool Receive(ZExpBuf& packet, int timeout_ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
      if (TakePacket(packet)) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
  }

  // Reads until the peer ends the connection: 0 for an orderly close, the system's error
  // for a reset (test::ResetError), -1 when it is still open after `timeout_ms`.
  int WaitClosed(int timeout_ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (fd_ != test::kNoRawSocket) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return -1;
      ReadSome(static_cast<int>(left.count()));
    }
    return close_error_;
  }

  const std::string& Raw() const { return raw_; }  // every byte received
  int Reads() const { return reads_; }              // recv calls that returned data

 private:
  bool TakePacket(ZExpBuf& packet) {
    static constexpr char kStart[] = {0x01, 'S', 'a'};
    for (;;) {
      auto at = std::search(pending_.begin(), pending_.end(), std::begin(kStart), std::end(kStart));
      // Without a start triple the last two bytes may still begin one.
      if (at == pending_.end()) at = pending_.end() - std::min<std::ptrdiff_t>(2, std::ssize(pending_));
      pending_.erase(pending_.begin(), at);
      if (pending_.size() < 3) return false;
      const int r = packet.Decode(static_cast<int>(pending_.size()), reinterpret_cast<const std::uint8_t*>(pending_.data()));
      if (r < 0) return false;
      pending_.erase(0, r == 0 ? 1 : static_cast<std::size_t>(r));
      if (r > 0) return true;
    }
  }

  bool ReadSome(int timeout_ms) {
    if (fd_ == test::kNoRawSocket) return false;
    if (!test::RawWaitReadable(fd_, timeout_ms)) return false;
    char chunk[8192];
    const long n = test::RawReceive(fd_, chunk, sizeof chunk);
    if (n <= 0) {
      close_error_ = n == 0 ? 0 : test::LastRawError();
      test::RawClose(fd_);
      fd_ = test::kNoRawSocket;
      return false;
    }
    ++reads_;
    raw_.append(chunk, static_cast<std::size_t>(n));
    pending_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  int connect_error_ = 0;
  test::RawSocket fd_;
  int close_error_ = 0;
  int reads_ = 0;
  std::string raw_;
  std::string pending_;
};

// The packets a probe sends, as it builds them.
inline void MakeRoutesRequest(ZExpBuf& p) {
  p.ClientSequence = 1;
  p.BuildRoutesRequest(1, 1, "NETAPI", "73105", 'A');
  p.SetData(0, nullptr);
}
inline void MakeLogin(ZExpBuf& p, std::int32_t sequence, char mode) {
  const bool profile = mode == 'P';
  p.ClientSequence = sequence;
  p.BuildLogin(sequence, mode, 1, 1, profile ? 25 : 1, profile ? 0 : 1, profile ? "PROFILE" : "NETAPI",
               "127.0.0.1", 14, 's', 0, "no error");
  p.SetData(0, nullptr);
}
inline void MakeDetail(ZExpBuf& p, std::int32_t sequence, std::int32_t circuit, std::int32_t number) {
  p.CircuitNumber = circuit;
  p.CircuitSequence = number;
  p.BuildDetail(sequence, 'U', "none", 0, "no error");
  std::string payload;
  for (int i = 0; i < 194; ++i) payload += static_cast<char>(0x20 + i % 97 % 96);
  p.SetData(static_cast<int>(payload.size()), reinterpret_cast<const std::uint8_t*>(payload.data()));
}
inline void MakeKeyRequest(ZExpBuf& p) {
  p.PacketType = 'P';
  p.CircuitSequence = 1;
  p.SetData(4, reinterpret_cast<const std::uint8_t*>("$0C0"));
}

// Polls `condition` until it holds or `timeout_ms` have passed; the simulator counts on
// its own thread.
template <typename Condition>
bool Eventually(Condition condition, int timeout_ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

inline std::string DataText(const ZExpBuf& p) {
  const auto d = p.DataView();
  return std::string(reinterpret_cast<const char*>(d.data()), d.size());
}

}  // namespace zp::sim::testing
