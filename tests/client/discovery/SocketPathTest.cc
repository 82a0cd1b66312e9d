// The worker's socket path over real loopback connections: receive framing as a route
// answer arrives in awkward pieces, a close while bytes are held, and a send that would
// block until the peer reads again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RouteServerPeer.h"
#include "client/GatewayConnection.h"
#include "client/ProbeHarness.h"
#include "client/discovery/DiscoverySupport.h"
#include "platform/Sockets.h"

namespace zp::test {
namespace {

using ::testing::ElementsAre;

const std::vector<std::string> kRoutes = {"a=127.0.0.1:1", "b=127.0.0.1:2"};

class SocketPathTest : public ProbeHarness {
 protected:
  // One request to a single route server that behaves as `config` says.
  ProbeRun AskServer(sim::RouteServerConfig config, std::uint16_t* port = nullptr) {
    config.list_routes = false;
    config.extra_lines = kRoutes;
    auto s = StartServer(config);
    if (port != nullptr) *port = s.port;
    return AskPort(s.port);
  }
  ProbeRun AskPort(std::uint16_t port) {
    ProbeSettings settings;
    settings.port = port;
    settings.stop_when = [](const ProbeRun& r) { return r.HasPrefix("GetRoute Finished"); };
    return Run(settings);
  }
  static std::vector<std::string> RouteTexts(const ProbeRun& run) {
    std::vector<std::string> out;
    for (const auto& r : run.routes) out.push_back(r.text);
    return out;
  }
  // Lines starting with `prefix`, up to the end of the route request (profiling the
  // answer's routes may have begun before the harness stopped the test).
  static int CountPrefix(const ProbeRun& run, const std::string& prefix) {
    int n = 0;
    for (const auto& l : run.lines) {
      if (l.rfind(prefix, 0) == 0) ++n;
      if (l.rfind("GetRoute Finished", 0) == 0) break;
    }
    return n;
  }
  // The answer the simulator writes for the first request, without any fault.
  static std::string PlainAnswer() {
    sim::RouteServerConfig c;
    return sim::RouteServerPeer::AnswerBytes(c, kRoutes, 1);
  }
};

TEST_F(SocketPathTest, GarbageBeforeTheAnswerIsDroppedUpToThePacketStart) {
  sim::RouteServerConfig c;
  c.garbage_before = true;
  const ProbeRun run = AskServer(c);

  const int answer = static_cast<int>(PlainAnswer().size());
  // 18 bytes of garbage hold two false starts ("\x01S" twice) but no whole signature.
  const int found = run.IndexOf(Format("Garbage Found - FLanBytes=%d k=18  FLanBytes-k=%d", answer + 18, answer));
  ASSERT_GE(found, 0) << Dump(run);
  EXPECT_EQ(run.lines[found + 1], Format("Garbage Found - %d Bytes Moved (should be start of valid packet):", answer));
  EXPECT_EQ(run.lines[found + 2], Format("MovedUp === BEGINS  %d Bytes", answer));
  EXPECT_EQ(CountPrefix(run, "Garbage Found"), 2);
  EXPECT_EQ(CountPrefix(run, "<Rx>"), 1);
  EXPECT_THAT(RouteTexts(run), ElementsAre(kRoutes[0], kRoutes[1]));
}

TEST_F(SocketPathTest, AnAnswerInSingleBytesIsFramedOnceComplete) {
  sim::RouteServerConfig c;
  c.bytewise = true;
  c.byte_gap_ms = 1;
  const ProbeRun run = AskServer(c);

  EXPECT_THAT(RouteTexts(run), ElementsAre(kRoutes[0], kRoutes[1])) << Dump(run);
  EXPECT_EQ(CountPrefix(run, "<Rx"), 1);
  // Not one byte of the partial packet is taken for garbage while it grows.
  EXPECT_EQ(CountPrefix(run, "Garbage Found"), 0) << Dump(run);
  EXPECT_GT(CountPrefix(run, "Data Received (FD_READ)"), 1);
  EXPECT_GT(CountPrefix(run, "@end === BEGINS"), 0);
}

TEST_F(SocketPathTest, TwoPacketsInOneWriteAreQueuedAndTheEmptyOneSkipped) {
  sim::RouteServerConfig c;
  c.heartbeat_first = true;
  const ProbeRun run = AskServer(c);

  // The heartbeat has no line, so the answer behind it is the one taken.
  const int first = run.IndexOf("Data Received (FD_READ)");
  ASSERT_GE(first, 0) << Dump(run);
  std::vector<std::string> headers;
  for (const auto& l : run.lines)
    if (l.rfind("<Rx", 0) == 0) headers.push_back(l.substr(0, l.find(' ')) + l.substr(l.find('('), 3));
  EXPECT_THAT(headers, ElementsAre("<Rx>(H)", "<Rx2>(R)")) << Dump(run);
  EXPECT_EQ(CountPrefix(run, "@end"), 0);
  EXPECT_THAT(RouteTexts(run), ElementsAre(kRoutes[0], kRoutes[1]));
}

TEST_F(SocketPathTest, TheLargestLegalAnswerArrivesWhole) {
  sim::RouteServerConfig c;
  c.largest = true;
  const ProbeRun run = AskServer(c);

  // 28 header + 512 text + 1 + 5320 data + 2 = 5863 bytes, more than one read takes.
  EXPECT_TRUE(run.Has("Rx5863 === BEGINS  80 Bytes")) << Dump(run);
  EXPECT_EQ(CountPrefix(run, "<Rx"), 1);
  EXPECT_EQ(CountPrefix(run, "Garbage Found"), 0);
  EXPECT_THAT(RouteTexts(run), ElementsAre(kRoutes[0], kRoutes[1]));
  // The status line carries the padding: "OK", a blank, then letters up to the limit.
  const auto status = std::find_if(run.lines.begin(), run.lines.end(),
                                   [](const std::string& l) { return l.rfind("00 \"OK ", 0) == 0; });
  ASSERT_NE(status, run.lines.end());
  const std::size_t routes_length = kRoutes[0].size() + kRoutes[1].size() + 4;
  EXPECT_EQ(status->size(), std::string("00 \"\"").size() + 5320 - routes_length);
}

TEST_F(SocketPathTest, ACloseWhileBytesAreHeldDiscardsThemWithTheSocket) {
  // Part of the answer, then an orderly close: the held bytes go with the socket, and
  // the request runs into its time-out.
  const std::string answer = PlainAnswer();
  ScriptedPeer peer([&](ScriptedPeer& self, RawSocket fd) {
    if (!self.ReadPacket(fd)) return;
    ScriptedPeer::Write(fd, answer.substr(0, 30));
    self.Sleep(100);
  });
  const ProbeRun run = AskPort(peer.Port());

  const int held = run.IndexOf("@end === BEGINS  30 Bytes");
  ASSERT_GE(held, 0) << Dump(run);
  const int closed = run.IndexOf("Socket Closed (FD_CLOSE)", held);
  ASSERT_GT(closed, held) << Dump(run);
  EXPECT_EQ(run.lines[closed + 1].rfind("Socket $", 0), 0u);
  EXPECT_EQ(run.lines[closed + 2], "Connection Closed Gracefully");
  EXPECT_EQ(run.lines[closed + 3], "Timeout waiting for Response");
  EXPECT_EQ(run.lines[closed + 4], "Error occurred - Abort getroutes");
  // Freeing the socket again at the end of the request writes nothing.
  EXPECT_EQ(run.lines[closed + 5], "GetRoute Finished \"127.0.0.1:" + HexPort(peer.Port()) + "\"");
  EXPECT_EQ(CountPrefix(run, "<Rx"), 0);
  EXPECT_TRUE(run.routes.empty());
}

TEST_F(SocketPathTest, BytesThatArriveWithAResetAreFramedBeforeTheSocketGoes) {
  // The answer's first bytes are held when the rest comes with the start of a further
  // packet and a reset right behind.
  const std::string answer = PlainAnswer();
  const std::string tail = RouteAnswer("never whole").substr(0, 20);
  ScriptedPeer peer([&](ScriptedPeer& self, RawSocket fd) {
    if (!self.ReadPacket(fd)) return;
    ScriptedPeer::Write(fd, answer.substr(0, 30));
    self.Sleep(100);
    ScriptedPeer::Write(fd, answer.substr(30) + tail);
    ScriptedPeer::Reset(fd);
  });
  const ProbeRun run = AskPort(peer.Port());

  const int held = run.IndexOf("@end === BEGINS  30 Bytes");
  ASSERT_GE(held, 0) << Dump(run);
  int framed = -1;
  for (std::size_t i = static_cast<std::size_t>(held); i < run.lines.size() && framed < 0; ++i)
    if (run.lines[i].rfind("<Rx>", 0) == 0) framed = static_cast<int>(i);
  ASSERT_GT(framed, held) << Dump(run);
  EXPECT_GT(run.IndexOf("@end === BEGINS  20 Bytes", framed), framed);
  EXPECT_THAT(RouteTexts(run), ElementsAre(kRoutes[0], kRoutes[1]));
  // Whichever of the close and the end of the request frees the socket, it says so once.
  EXPECT_EQ(CountPrefix(run, "Socket $"), 2) << Dump(run);
}

// Sends many large packets to a peer that does not read at first, then reports.
class BulkSender : public ZExpressTcpClientThread {
 public:
  using ZExpressTcpClientThread::ZExpressTcpClientThread;
  static constexpr int kPackets = 40;

 protected:
  void DiscoverRoutes() override {
    if (done_) return;
    done_ = true;
    std::string error;
    int code = 0;
    ZGatewayConnection& connection = Connection();
    if (connection.ConnectTo("127.0.0.1", Port(), error, code) != ZGatewayConnection::ConnectResult::Connected) {
      Trace("connect failed " + error);
      return;
    }
    const int small = 4096;
    WsSetSockOpt(connection.Socket(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
    ZExpBuf packet;
    packet.PacketType = 'D';
    packet.SetText(std::string(ZExpBuf::MaxTextPart, 't'));
    const std::string data(ZExpBuf::MaxDataPart, 'd');
    packet.SetData(static_cast<int>(data.size()), reinterpret_cast<const std::uint8_t*>(data.data()));
    std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
    int sent = 0;
    for (; sent < kPackets; ++sent) {
      packet.ClientSequence = NextClientSequence();
      int length = 0;
      packet.Encode(length, bytes.data());
      if (connection.SendWithRetry(packet, bytes, length, error) != 0) {
        Trace("send failed " + error);
        break;
      }
    }
    Trace(Format("Sent %d", sent));
    connection.FreeSocket();
  }

 private:
  bool done_ = false;
};

TEST_F(SocketPathTest, ASendThatWouldBlockIsRetriedUntilThePeerReads) {
  std::atomic<int> packets{0};
  std::atomic<long> bytes{0};
  std::atomic<bool> intact{true};
  ScriptedPeer peer(
      [&](ScriptedPeer& self, RawSocket fd) {
        self.Sleep(300);  // let the client's buffers fill
        std::string stream;
        char chunk[16384];
        while (self.WaitReadable(fd, 5000)) {
          const long n = RawReceive(fd, chunk, sizeof chunk);
          if (n <= 0) break;
          bytes += n;
          stream.append(chunk, static_cast<std::size_t>(n));
          // Every packet must start where the previous one ended.
          for (;;) {
            ZExpBuf p;
            const int r = p.Decode(static_cast<int>(stream.size()), reinterpret_cast<const std::uint8_t*>(stream.data()));
            if (r < 0) break;
            if (r == 0) {
              intact = false;
              return;
            }
            ++packets;
            stream.erase(0, static_cast<std::size_t>(r));
          }
        }
      },
      "127.0.0.1", 0, 4096);

  ProbeSettings settings;
  settings.port = peer.Port();
  settings.make_worker = [](const std::string& name, ZTraceEvent handler, const ProbeSettings& s,
                            std::shared_ptr<Invoker> invoker) -> std::unique_ptr<ZExpressTcpClientThread> {
    return std::make_unique<BulkSender>(name, handler, s.server, s.port, s.route_code, invoker);
  };
  settings.stop_when = [](const ProbeRun& r) { return r.HasPrefix("Sent ") || r.HasPrefix("send failed"); };
  const ProbeRun run = Run(settings);

  EXPECT_TRUE(run.Has(Format("Sent %d", BulkSender::kPackets))) << Dump(run);
  EXPECT_GT(CountPrefix(run, "<!Tx>"), 0);
  EXPECT_EQ(CountPrefix(run, "<Tx>"), BulkSender::kPackets);
  ASSERT_TRUE(peer.WaitDone(5000));  // the peer has read to the end of the stream
  EXPECT_TRUE(intact);
  EXPECT_EQ(packets, BulkSender::kPackets);
  EXPECT_EQ(bytes, static_cast<long>(BulkSender::kPackets) * ZExpBuf::MaxPacketLength);
}

}  // namespace
}  // namespace zp::test
