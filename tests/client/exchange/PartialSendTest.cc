// Detail records that the socket takes only in parts must still reach the gateway as
// whole records, one after the other.
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "client/ProbeHarness.h"
#include "client/discovery/DiscoverySupport.h"
#include "protocol/ProbeExpBuf.h"

namespace zp::test {
namespace {

// Profiles one route with many detail records near the largest data part, so that
// sent back to back they overflow the socket's buffers long before the gateway reads.
class BigDetailWorker : public ZExpressTcpClientThread {
 public:
  BigDetailWorker(const std::string& name, ZTraceEvent handler, const ProbeSettings& s,
                  std::shared_ptr<Invoker> invoker, std::string route)
      : ZExpressTcpClientThread(name, std::move(handler), s.server, s.port, s.route_code, std::move(invoker)),
        route_(std::move(route)) {
    FSettings.FDetailBlocks = 50;  // 4850 characters per record
    FSettings.FDetailRecords = kRecords;
  }
  static constexpr int kRecords = 1500;  // about 7.5 MB, beyond what the buffers take

 protected:
  void DiscoverRoutes() override { Routes() = {{route_, FSettings.FDetailRecords}}; }
  void SynchronizeKeys() override {}

 private:
  std::string route_;
};

std::string Encode(ZExpBuf& p) {
  std::string out(ZExpBuf::MaxPacketLength, '\0');
  int n = 0;
  p.Encode(n, reinterpret_cast<std::uint8_t*>(out.data()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

class PartialSendTest : public ProbeHarness {};

TEST_F(PartialSendTest, DetailRecordsArriveWholeAndInOrderThroughAFullSocket) {
  testing::SetTimeScale(1.0);  // the gateway below reads late on the real clock
  std::atomic<int> details{0};
  std::atomic<bool> intact{true};
  ScriptedPeer peer(
      [&](ScriptedPeer& self, RawSocket fd) {
        std::string stream;
        char chunk[8192];
        ZExpBuf p;
        auto next_packet = [&]() -> bool {
          for (;;) {
            const int r = p.Decode(static_cast<int>(stream.size()), reinterpret_cast<const std::uint8_t*>(stream.data()));
            if (r > 0) {
              stream.erase(0, static_cast<std::size_t>(r));
              return true;
            }
            if (r == 0) {
              intact = false;  // a record was cut or spliced
              return false;
            }
            if (!self.WaitReadable(fd, 3000)) return false;
            const long n = RawReceive(fd, chunk, sizeof chunk);
            if (n <= 0) return false;
            stream.append(chunk, static_cast<std::size_t>(n));
          }
        };
        if (!next_packet() || p.PacketType != 'L') return;
        const std::int32_t sequence = p.ParseLogin().Sequence;
        ZExpBuf reply;
        reply.CircuitNumber = 1000;
        reply.BuildLogin(sequence, 'P', 1, 1, BigDetailWorker::kRecords, 0, "PROFILE", "127.0.0.1", 14, 's', 0, "");
        const std::string login = Encode(reply);
        RawSendAll(fd, login);
        self.Sleep(300);  // let the client's socket fill up
        for (int i = 1; i <= BigDetailWorker::kRecords; ++i) {
          if (!next_packet()) return;
          if (p.PacketType != 'D' || p.CircuitSequence != i || p.GetDataLength() != 4850) {
            intact = false;
            return;
          }
          ++details;
        }
        ZExpBuf heartbeat;
        heartbeat.BuildHeartbeat(sequence, "");
        const std::string h = Encode(heartbeat);
        RawSendAll(fd, h);
        next_packet();  // the logout
      },
      "127.0.0.1", 0, 4096);
  const std::string route = "p=127.0.0.1:" + std::to_string(peer.Port());

  ProbeSettings settings;
  settings.real_limit_seconds = 15;
  settings.make_worker = [&](const std::string& name, ZTraceEvent handler, const ProbeSettings& s,
                             std::shared_ptr<Invoker> invoker) -> std::unique_ptr<ZExpressTcpClientThread> {
    return std::make_unique<BigDetailWorker>(name, handler, s, invoker, route);
  };
  const ProbeRun run = Run(settings);

  EXPECT_TRUE(intact);
  EXPECT_EQ(details, BigDetailWorker::kRecords);
  EXPECT_TRUE(run.Has(std::to_string(BigDetailWorker::kRecords) + " Detail Records Transmitted")) << Dump(run);
  EXPECT_EQ(run.ScoreOf(route), 0) << Dump(run);
  EXPECT_TRUE(peer.WaitDone(5000));
}

}  // namespace
}  // namespace zp::test
