#include <gtest/gtest.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "net/LoopbackPeer.h"
#include "platform/Sockets.h"

namespace zp {
namespace {

TEST(Sockets, RefusedConnectReports10061) {
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

TEST(Sockets, LastErrorBelongsToTheCallingThread) {
  WSASetLastError(WSAETIMEDOUT);
  std::thread other([] {
    EXPECT_EQ(WSAGetLastError(), 0);
    EXPECT_EQ(WsCloseSocket(INVALID_SOCKET), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  });
  other.join();
  EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
}

TEST(Sockets, BlockingExchangeWithAPeer) {
  test::LoopbackListener listener;
  const SOCKET s = WsSocket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(WsConnect(s, listener.Address()), 0);
  const int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  const std::int32_t off = 0;
  EXPECT_EQ(WsSetSockOpt(s, IPPROTO_TCP, TCP_NODELAY, &off, sizeof off), 0);
  EXPECT_EQ(WsSend(s, "hello", 5, 0), 5);
  char buf[8] = {};
  ASSERT_EQ(recv(peer, buf, sizeof buf, 0), 5);
  ASSERT_EQ(send(peer, "ok", 2, 0), 2);
  EXPECT_EQ(WsRecv(s, buf, sizeof buf, 0), 2);
  close(peer);
  EXPECT_EQ(WsRecv(s, buf, sizeof buf, 0), 0) << "a graceful end reads as 0";
  WsCloseSocket(s);
}

TEST(Sockets, SendToAResetPeerFailsWithoutSigpipe) {
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

TEST(Sockets, AddressTexts) {
  EXPECT_EQ(WsInetAddr("127.0.0.1"), htonl(INADDR_LOOPBACK));
  EXPECT_EQ(WsInetNtoa(WsInetAddr("10.20.30.40")), "10.20.30.40");
  EXPECT_EQ(WsInetAddr("not an address"), INADDR_NONE);
  EXPECT_EQ(WsInetAddr(""), INADDR_NONE);
  EXPECT_EQ(WsInetAddr(nullptr), INADDR_NONE);
  EXPECT_EQ(WsHtons(0x6900), htons(0x6900));
}

TEST(Sockets, HostNameAndLookup) {
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

TEST(Sockets, ErrorTableKeepsFailuresFailures) {
  EXPECT_EQ(WsaErrorFromErrno(EPIPE), WSAECONNRESET);
  EXPECT_EQ(WsaErrorFromErrno(EWOULDBLOCK), WSAEWOULDBLOCK);
  EXPECT_EQ(WsaErrorFromErrno(EIO), EIO) << "an unmapped error is still an error";
  EXPECT_EQ(WsaErrorFromAddrInfo(EAI_NONAME, 0), WSAHOST_NOT_FOUND);
  EXPECT_EQ(WsaErrorFromAddrInfo(EAI_AGAIN, 0), WSATRY_AGAIN);
  EXPECT_EQ(WsaErrorFromAddrInfo(EAI_FAIL, 0), WSANO_RECOVERY);
  EXPECT_EQ(WsaErrorFromAddrInfo(EAI_SYSTEM, ECONNREFUSED), WSAECONNREFUSED);
  EXPECT_EQ(WsaErrorFromAddrInfo(EAI_SYSTEM, 0), WSANO_RECOVERY);
}

}  // namespace
}  // namespace zp
