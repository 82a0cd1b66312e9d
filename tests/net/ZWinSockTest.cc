#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "net/DebugLog.h"
#include "net/ZWinSock.h"

namespace zp {
namespace {

// The "Windows Sockets ..." lines, in order.
std::vector<std::string> AttachLines() {
  std::vector<std::string> lines;
  for (const DebugLogLine& l : DebugLogLines()) {
    EXPECT_EQ(l.source, "WinSock");
    if (l.text.rfind("Windows Sockets ", 0) == 0) lines.push_back(l.text);
  }
  return lines;
}

TEST(WinSock, AttachAttachDetachDetachStartsOnceAndStopsOnce) {
  ASSERT_EQ(AttachCount(), 0);
  ClearDebugLog();
  EXPECT_EQ(AttachWinSock("ExpressT"), kWinSockStarted);
  ZWinSockets* shared = WinSockets();
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(shared->Started());
  EXPECT_EQ(AttachWinSock("Second"), kWinSockStarted);
  EXPECT_EQ(WinSockets(), shared) << "the second attachment does not start again";

  DetachWinSock("Second");
  EXPECT_EQ(WinSockets(), shared);
  EXPECT_EQ(AttachLines(), (std::vector<std::string>{"Windows Sockets Started. Attached(0) ExpressT",
                                                    "Windows Sockets Started. Attached(1) Second"}))
      << "the first detach writes nothing";
  DetachWinSock("ExpressT");
  EXPECT_EQ(WinSockets(), nullptr);
  EXPECT_EQ(AttachLines().back(), "Windows Sockets Shutdown. Attached(0) ExpressT");
  EXPECT_EQ(AttachLines().size(), 3u);

  // One start and one stop leave nothing to clean up.
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), 10093) << "not started (spelled WSANOTINITIALISED by Windows)";

  DetachWinSock("Stray");
  EXPECT_EQ(AttachCount(), 0) << "an unmatched detach does not go below 0";
  EXPECT_EQ(AttachWinSock("Again"), kWinSockStarted);
  EXPECT_NE(WinSockets(), nullptr);
  DetachWinSock("Again");
  EXPECT_EQ(WinSockets(), nullptr) << "so the next user's detach still stops the layer";
}

TEST(WinSock, StartFindsTheLocalHostAndStopTwiceStopsOnce) {
  ClearDebugLog();
  ZWinSockets ws;
  EXPECT_EQ(ws.GetStatus(), kWinSockCreated);
  EXPECT_EQ(ws.StartSockets(), kWinSockStarted);
  EXPECT_EQ(ws.Data().wVersion, 0x0101);
  char name[128];
  ASSERT_EQ(WsGetHostName(name, sizeof name), 0);
  EXPECT_STREQ(ws.HostName(), name);
  std::vector<std::string> addresses;
  if (WsResolveIPv4(name, addresses)) {
    EXPECT_EQ(ws.DefaultAddress(), addresses.front());
    const std::vector<DebugLogLine> lines = DebugLogLines();
    ASSERT_EQ(lines.size(), addresses.size() + 1);
    EXPECT_EQ(lines[0].text, "[0] Available IP Address \"" + addresses[0] + "\"");
    EXPECT_EQ(lines.back().text, "Default Address assigned to \"" + addresses[0] + "\"");
  } else {
    EXPECT_EQ(ws.DefaultAddress(), "0.0.0.0");
  }
  ws.StopSockets();
  EXPECT_FALSE(ws.Started());
  ws.StopSockets();
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR) << "the second stop must not clean up again";
}

TEST(WinSock, ErrorTexts) {
  EXPECT_EQ(SocketErrorText(10035),
            "Okay - WSAEWOULDBLOCK: this is a non-blocking socket and no connections are present");
  EXPECT_EQ(SocketErrorText(10059), "WSAETOOMANYREFS:");
  EXPECT_EQ(SocketErrorText(10099), "unknown error occurred (10099)");
  EXPECT_EQ(SocketErrorText(0), "unknown error occurred (0)");
  EXPECT_EQ(SocketErrorText(10061), "WSAECONNREFUSED: the connection was refused");
  EXPECT_EQ(SocketErrorText(11004), "WSANO_DATA: no data record of the type has been requested");
  EXPECT_EQ(SocketErrorText(-1), "unknown error occurred (-1)");
}

TEST(WinSock, LastErrorReadsTheCallingThread) {
  ASSERT_EQ(AttachWinSock("T"), kWinSockStarted);
  ZWinSockets* ws = WinSockets();
  std::thread other([ws] {
    WSASetLastError(WSAETIMEDOUT);
    EXPECT_EQ(ws->LastErrorText(),
              "WSAETIMEDOUT: a connection attempt timed out; no connection was established");
  });
  other.join();
  // Set after the join: on Windows the error is the thread's system last error, which
  // starting and joining a thread may overwrite.
  WSASetLastError(WSAECONNRESET);
  EXPECT_EQ(ws->LastError(), WSAECONNRESET);
  EXPECT_EQ(ws->LastErrorSeen(), WSAECONNRESET);
  DetachWinSock("T");
}

TEST(WinSock, AttachAndDetachFromManyThreads) {
  constexpr int kThreads = 6, kRounds = 300;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      const std::string name = "W" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        if (AttachWinSock(name) != kWinSockStarted) ++failures;
        ZWinSockets* ws = WinSockets();
        if (ws == nullptr || ws->GetStatus() != kWinSockStarted) {
          ++failures;
        } else {
          WSASetLastError(WSAEWOULDBLOCK);
          if (ws->LastError() != WSAEWOULDBLOCK) ++failures;
        }
        DetachWinSock(name);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(AttachCount(), 0);
  EXPECT_EQ(WinSockets(), nullptr);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR) << "every start was matched by a stop";
}

}  // namespace
}  // namespace zp
