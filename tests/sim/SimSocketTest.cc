// The simulator's socket layer, on whichever system the tests run: the same texts are
// addresses everywhere, a port in use stays in use, and the wait wakes for every reason.
#include "SimSocket.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestSockets.h"

namespace zp::sim {
namespace {

struct AddressCase {
  const char* text;
  bool loopback;
  std::uint32_t host_order = 0;
};

TEST(SimSocketTest, OnlyStrictDottedLoopbackAddressesAreAccepted) {
  const std::vector<AddressCase> cases = {
      {"127.0.0.1", true, 0x7f000001},   {"127.255.255.254", true, 0x7ffffffe},
      {"127.0.0.2", true, 0x7f000002},   {"127.1.2.3", true, 0x7f010203},
      {"10.0.0.1", false},               {"128.0.0.1", false},
      {"127.0.0.01", false},             {"127.0.0", false},
      {"127.0.0.1.1", false},            {"127.0.0.256", false},
      {"127.0.0.1 ", false},             {" 127.0.0.1", false},
      {"127..0.1", false},               {"127.0.0.", false},
      {"0x7f.0.0.1", false},             {"127.0.0.1000", false},
      {"", false},                       {"localhost", false},
      {"127.0.0.-1", false},             {"0127.0.0.1", false},
  };
  for (const AddressCase& c : cases) {
    std::uint32_t address = 0;
    EXPECT_EQ(ParseLoopbackAddress(c.text, address), c.loopback) << c.text;
    if (c.loopback) {
      EXPECT_EQ(address, c.host_order) << c.text;
    }
  }
}

TEST(SimSocketTest, APortInUseCannotBeTakenAgainAndTheReasonNamesIt) {
  std::uint16_t port = 0;
  const SocketHandle first = ListenOn("127.0.0.1", 0, port);
  ASSERT_NE(first, kNoSocket);
  ASSERT_NE(port, 0);
  std::uint16_t again = 0;
  try {
    ListenOn("127.0.0.1", port, again);
    ADD_FAILURE() << "a second listener took port " << port;
  } catch (const std::runtime_error& e) {
    const std::string prefix = "cannot bind 127.0.0.1:" + std::to_string(port) + ": ";
    EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u) << e.what();
    EXPECT_GT(std::string(e.what()).size(), prefix.size()) << "the system's reason follows";
  }
  EXPECT_THROW(ListenOn("10.0.0.1", 0, again), std::runtime_error);
  CloseSocket(first, false);
}

TEST(SimSocketTest, AReservedPortRefusesAndAListenerAcceptsWithoutBlocking) {
  const std::uint16_t closed = ReserveClosedPort("127.0.0.1", 0);
  int error = 0;
  EXPECT_EQ(test::RawConnect("127.0.0.1", closed, error), test::kNoRawSocket);
  EXPECT_EQ(error, test::RefusedError());

  std::uint16_t port = 0;
  const SocketHandle listener = ListenOn("127.0.0.1", 0, port);
  bool out_of_resources = true;
  EXPECT_EQ(AcceptConnection(listener, out_of_resources), kNoSocket) << "nothing is pending";
  EXPECT_FALSE(out_of_resources);

  const test::RawSocket peer = test::RawConnect("127.0.0.1", port, error);
  ASSERT_NE(peer, test::kNoRawSocket) << error;
  std::vector<PollItem> items = {{listener, kPollReadable, 0}};
  ASSERT_TRUE(PollSockets(items, 3000));
  ASSERT_TRUE(items[0].revents & kPollReadable);
  const SocketHandle accepted = AcceptConnection(listener, out_of_resources);
  ASSERT_NE(accepted, kNoSocket);

  // Reads never block; the bytes, then the end of the stream.
  char buffer[16];
  EXPECT_EQ(ReceiveSome(accepted, buffer, sizeof buffer), kWouldBlock);
  EXPECT_EQ(SendSome(accepted, "hello", 5), 5);
  char got[5];
  ASSERT_TRUE(test::RawWaitReadable(peer, 3000));
  EXPECT_EQ(test::RawReceive(peer, got, sizeof got), 5);
  EXPECT_EQ(std::string(got, 5), "hello");
  ASSERT_TRUE(test::RawSendAll(peer, "abc"));
  test::RawClose(peer);
  items = {{accepted, kPollReadable, 0}};
  std::string read;
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(PollSockets(items, 3000));
    const long n = ReceiveSome(accepted, buffer, sizeof buffer);
    if (n <= 0) {
      EXPECT_EQ(n, 0) << "an orderly close ends the stream";
      break;
    }
    read.append(buffer, static_cast<std::size_t>(n));
  }
  EXPECT_EQ(read, "abc");
  CloseSocket(accepted, false);
  CloseSocket(listener, false);
}

TEST(SimSocketTest, ACloseWithResetResetsThePeer) {
  if (!test::CloseCanReset()) GTEST_SKIP() << "this system closes in order even when asked to reset";
  std::uint16_t port = 0;
  const SocketHandle listener = ListenOn("127.0.0.1", 0, port);
  int error = 0;
  const test::RawSocket peer = test::RawConnect("127.0.0.1", port, error);
  ASSERT_NE(peer, test::kNoRawSocket) << error;
  std::vector<PollItem> items = {{listener, kPollReadable, 0}};
  ASSERT_TRUE(PollSockets(items, 3000));
  bool out_of_resources = false;
  const SocketHandle accepted = AcceptConnection(listener, out_of_resources);
  ASSERT_NE(accepted, kNoSocket);
  CloseSocket(accepted, true);
  ASSERT_TRUE(test::RawWaitReadable(peer, 3000));
  char c;
  EXPECT_EQ(test::RawReceive(peer, &c, 1), -1);
  EXPECT_EQ(test::LastRawError(), test::ResetError());
  test::RawClose(peer);
  CloseSocket(listener, false);
}

TEST(SimSocketTest, AWakeUpEndsTheWaitUntilDrained) {
  WakeUp wake;
  std::vector<PollItem> items = {{wake.Handle(), kPollReadable, 0}};
  ASSERT_TRUE(PollSockets(items, 0));
  EXPECT_EQ(items[0].revents, 0) << "not raised yet";
  wake.Raise();
  wake.Raise();
  ASSERT_TRUE(PollSockets(items, 3000));
  EXPECT_TRUE(items[0].revents & kPollReadable);
  wake.Drain();
  ASSERT_TRUE(PollSockets(items, 0));
  EXPECT_EQ(items[0].revents, 0) << "one drain takes every raise";
  wake.Raise();
  ASSERT_TRUE(PollSockets(items, 3000));
  EXPECT_TRUE(items[0].revents & kPollReadable) << "raised again after a drain";
}

}  // namespace
}  // namespace zp::sim
