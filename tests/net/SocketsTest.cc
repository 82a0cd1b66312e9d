#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "net/LoopbackPeer.h"
#include "platform/Sockets.h"

namespace zp {
namespace {

// The socket layer is started around each test, as the program starts it (Windows
// refuses every call before).
class Sockets : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(WSAStartup(0x0202, data_), 0); }
  void TearDown() override { WSACleanup(); }
  WSADATA data_{};
};

TEST_F(Sockets, RefusedConnectReports10061) {
  sockaddr_in closed;
  {
    test::LoopbackListener listener;  // a port that was just free
    closed = listener.Address();
  }
  const SOCKET s = WsSocket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(WsConnect(s, closed), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
  EXPECT_EQ(WsCloseSocket(s), 0);
  EXPECT_EQ(WsCloseSocket(s), SOCKET_ERROR) << "a closed socket is no socket";
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(Sockets, SendToAResetPeerFailsWithoutSigpipe) {
  test::LoopbackListener listener;
  const SOCKET s = WsSocket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(WsConnect(s, listener.Address()), 0);
  test::CloseWithReset(listener.Accept());
  int result = 0;
  for (int i = 0; i < 100 && result != SOCKET_ERROR; ++i) {
    result = WsSend(s, "data", 4, 0);
    if (result != SOCKET_ERROR) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(result, SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  WsCloseSocket(s);
}

TEST_F(Sockets, AddressesHostNameAndLookup) {
  EXPECT_EQ(WsInetAddr("not an address"), INADDR_NONE);
  EXPECT_EQ(WsInetNtoa(WsInetAddr("10.20.30.40")), "10.20.30.40");
  char name[128];
  ASSERT_EQ(WsGetHostName(name, sizeof name), 0);
  EXPECT_GT(std::strlen(name), 0u);
  char tiny[1];
  EXPECT_EQ(WsGetHostName(tiny, sizeof tiny), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);

  std::vector<std::string> addresses;
  ASSERT_TRUE(WsResolveIPv4("localhost", addresses));
  EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
  for (std::size_t i = 0; i < addresses.size(); ++i)
    for (std::size_t j = i + 1; j < addresses.size(); ++j) EXPECT_NE(addresses[i], addresses[j]);

  ASSERT_TRUE(WsResolveIPv4("127.0.0.9", addresses));
  EXPECT_EQ(addresses, std::vector<std::string>{"127.0.0.9"});
  EXPECT_FALSE(WsResolveIPv4("", addresses));
  EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
  EXPECT_TRUE(addresses.empty());
}

}  // namespace
}  // namespace zp
