#include <gtest/gtest.h>
#include <time.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "net/LoopbackPeer.h"
#include "platform/AsyncSelect.h"
#include "platform/MessageQueue.h"
#include "platform/SystemName.h"

namespace zp {
namespace {

constexpr std::uint32_t kNotify = 1468;
constexpr long kAll = FD_READ | FD_WRITE | FD_CLOSE;

struct Note {
  int event;
  int error;
  bool operator==(const Note&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Note& n) {
  return os << "{event " << n.event << ", error " << n.error << "}";
}

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// A connected pair on loopback: `client` is ours (the Ws calls, selected to a window of
// this thread), `peer` is the remote end.
class AsyncSelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = CreateMessageWindow([this](Message& m) {
      if (m.message != kNotify) return;
      EXPECT_EQ(m.wparam, client_) << "wparam carries the socket";
      notes_.push_back({WSAGETSELECTEVENT(m.lparam), WSAGETSELECTERROR(m.lparam)});
    });
    client_ = WsSocket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(client_, INVALID_SOCKET);
    ASSERT_EQ(WsConnect(client_, listener_.Address()), 0) << WSAGetLastError();
    peer_ = listener_.Accept();
    ASSERT_NE(peer_, test::kNoRawSocket);
  }

  void TearDown() override {
    if (client_ != INVALID_SOCKET) WsCloseSocket(client_);
    test::RawClose(peer_);
    DestroyMessageWindow(window_);
  }

  void Select(long events = kAll) { ASSERT_EQ(WSAAsyncSelect(client_, window_, kNotify, events), 0); }

  // Waits and dispatches for `ms`, returning what arrived.
  std::vector<Note> Pump(long ms) {
    MessageQueue& q = MessageQueue::ForThisThread();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      q.Wait({}, left.count());
      q.DispatchAll();
    }
    return Take();
  }

  // Pumps until `event` arrives (at most 5 s); returns everything that came.
  std::vector<Note> PumpUntil(int event) {
    MessageQueue& q = MessageQueue::ForThisThread();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
      q.Wait({}, 100);
      q.DispatchAll();
      for (const Note& n : notes_)
        if (n.event == event) return Take();
    }
    return Take();
  }

  std::vector<Note> Take() {
    std::vector<Note> n;
    n.swap(notes_);
    return n;
  }

  void PeerSend(const std::string& bytes) {
    ASSERT_TRUE(test::RawSendAll(peer_, bytes));
  }

  int Recv(int n) {
    std::vector<char> buf(static_cast<std::size_t>(n));
    return WsRecv(client_, buf.data(), n, 0);
  }

  test::LoopbackListener listener_;
  WindowHandle window_ = 0;
  SOCKET client_ = INVALID_SOCKET;
  test::RawSocket peer_ = test::kNoRawSocket;
  std::vector<Note> notes_;
};

const Note kRead{FD_READ, 0}, kWrite{FD_WRITE, 0}, kClose{FD_CLOSE, 0};

TEST_F(AsyncSelectTest, WriteOnceAfterSelectOnAConnectedSocket) {
  Select();
  EXPECT_EQ(Pump(150), std::vector<Note>{kWrite});
  EXPECT_TRUE(Pump(100).empty()) << "FD_WRITE is not repeated while the socket stays writable";
  EXPECT_EQ(Recv(1), SOCKET_ERROR) << "the select makes the socket non-blocking";
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(AsyncSelectTest, ReadWhileDataWaitsAndAgainAfterAPartialRead) {
  Select();
  Pump(50);
  PeerSend(std::string(100, 'x'));
  EXPECT_EQ(PumpUntil(FD_READ), std::vector<Note>{kRead});
  const double before = ThreadCpuMs();
  EXPECT_TRUE(Pump(300).empty()) << "not re-armed until a read";
  EXPECT_LT(ThreadCpuMs() - before, 100.0) << "the wait polled a socket that stays readable";

  EXPECT_EQ(Recv(40), 40);
  EXPECT_EQ(PumpUntil(FD_READ), std::vector<Note>{kRead}) << "60 bytes still wait";
  EXPECT_EQ(Recv(100), 60);
  EXPECT_TRUE(Pump(100).empty()) << "nothing waits after a full read";

  PeerSend("more");
  EXPECT_EQ(PumpUntil(FD_READ), std::vector<Note>{kRead});
}

TEST_F(AsyncSelectTest, GracefulCloseOnceAfterTheDataIsTaken) {
  Select();
  Pump(50);
  PeerSend("last words");
  test::RawClose(peer_);
  peer_ = test::kNoRawSocket;
  EXPECT_EQ(PumpUntil(FD_READ), std::vector<Note>{kRead});
  EXPECT_TRUE(Pump(100).empty()) << "no close while unread data waits";
  char buf[64];
  EXPECT_EQ(WsRecv(client_, buf, sizeof buf, 0), 10);
  EXPECT_EQ(PumpUntil(FD_CLOSE), std::vector<Note>{kClose});

  const double before = ThreadCpuMs();
  EXPECT_TRUE(Pump(300).empty()) << "FD_CLOSE comes once";
  EXPECT_LT(ThreadCpuMs() - before, 100.0) << "a closed socket must not keep the wait busy";
  EXPECT_EQ(WsRecv(client_, buf, sizeof buf, 0), 0);
  EXPECT_TRUE(Pump(100).empty()) << "reading the end of the stream re-arms nothing";
}

TEST_F(AsyncSelectTest, ResetGivesCloseWithTheResetCode) {
  Select();
  Pump(50);
  test::CloseWithReset(peer_);
  peer_ = test::kNoRawSocket;
  // Wine (8.0) reports a reset as it reports an orderly close: FD_CLOSE without an error,
  // then the end of the stream. Windows itself and the POSIX side report the reset.
  const bool reset_as_close = SystemName().find("(Wine ") != std::string::npos;
  EXPECT_EQ(PumpUntil(FD_CLOSE), (std::vector<Note>{{FD_CLOSE, reset_as_close ? 0 : WSAECONNRESET}}));
  EXPECT_TRUE(Pump(150).empty());

  char buf[16];
  if (reset_as_close) {
    EXPECT_EQ(WsRecv(client_, buf, sizeof buf, 0), 0);
  } else {
    EXPECT_EQ(WsRecv(client_, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET) << "the reset, not a graceful end";
  }
  EXPECT_EQ(WsSend(client_, "x", 1, 0), SOCKET_ERROR) << "and no SIGPIPE ends the process";
  if (!reset_as_close) {
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  }
  EXPECT_TRUE(Pump(100).empty());
}

TEST_F(AsyncSelectTest, WouldBlockSendThenOneWriteWhenThePeerDrains) {
  const int small = 4096;
  WsSetSockOpt(client_, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  test::RawSetReceiveBuffer(peer_, small);
  Select();
  EXPECT_EQ(Pump(100), std::vector<Note>{kWrite});

  const std::vector<char> chunk(16384, 'z');
  long sent = 0;
  int result = 0;
  for (int i = 0; i < 100000 && result != SOCKET_ERROR; ++i) {
    result = WsSend(client_, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (result > 0) sent += result;
  }
  ASSERT_EQ(result, SOCKET_ERROR);
  ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_TRUE(Pump(100).empty()) << "no FD_WRITE while the peer reads nothing";

  // The peer takes everything; exactly one FD_WRITE follows.
  std::vector<char> sink(65536);
  long drained = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::vector<Note> got;
  while (drained < sent && std::chrono::steady_clock::now() < end) {
    const long n = test::RawWaitReadable(peer_, 0) ? test::RawReceive(peer_, sink.data(), sink.size()) : 0;
    if (n > 0) drained += n;
    for (const Note& note : Pump(5)) got.push_back(note);
  }
  EXPECT_EQ(drained, sent);
  for (const Note& note : Pump(100)) got.push_back(note);
  EXPECT_EQ(got, std::vector<Note>{kWrite});
}

TEST_F(AsyncSelectTest, MaskZeroStopsAtOnceAndDropsQueuedNotifications) {
  Select();
  PeerSend("data");
  MessageQueue& q = MessageQueue::ForThisThread();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < end && q.Wait({}, 100) != 0) {
  }
  ASSERT_TRUE(q.HasMessages()) << "notifications are queued, not yet dispatched";

  ASSERT_EQ(WSAAsyncSelect(client_, window_, kNotify, 0), 0);
  EXPECT_FALSE(q.HasMessages());
  test::RawClose(peer_);
  peer_ = test::kNoRawSocket;
  EXPECT_TRUE(Pump(150).empty());
  char buf[8];
  EXPECT_EQ(WsRecv(client_, buf, sizeof buf, 0), 4) << "the data is still there to read";
  EXPECT_TRUE(Pump(50).empty());
}

TEST_F(AsyncSelectTest, ClosingTheSocketRemovesItsWatch) {
  Select();
  PeerSend("data");
  MessageQueue& q = MessageQueue::ForThisThread();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < end && q.Wait({}, 100) != 0) {
  }
  ASSERT_TRUE(q.HasMessages());
  const SOCKET old = client_;
  EXPECT_EQ(WsCloseSocket(client_), 0);
  client_ = INVALID_SOCKET;
  EXPECT_FALSE(q.HasMessages()) << "a closed socket's notifications are dropped";

  // The number is usually handed out again at once; the new socket starts unwatched.
  client_ = WsSocket(AF_INET, SOCK_STREAM, 0);
  ASSERT_NE(client_, INVALID_SOCKET);
  ASSERT_EQ(WsConnect(client_, listener_.Address()), 0);
  const test::RawSocket second = listener_.Accept();
  ASSERT_NE(second, test::kNoRawSocket);
  ASSERT_TRUE(test::RawSendAll(second, "x"));
  EXPECT_TRUE(Pump(150).empty()) << "socket " << old << " reused as " << client_;
  test::RawClose(second);
}

TEST_F(AsyncSelectTest, RejectsWhatItCannotWatch) {
  EXPECT_EQ(WSAAsyncSelect(INVALID_SOCKET, window_, kNotify, kAll), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  const SOCKET closed = WsSocket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(WsCloseSocket(closed), 0);
  EXPECT_EQ(WSAAsyncSelect(closed, window_, kNotify, kAll), SOCKET_ERROR) << "a socket no more";
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(WSAAsyncSelect(client_, window_, kNotify, kAll | 16), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL) << "FD_CONNECT is not offered";
}

// Each worker selects its own socket to its own window and sees only its own
// notifications; one leaves without closing its socket, which is closed after the
// thread (and its watch source) is gone.
TEST(AsyncSelectThreads, WorkersNotifyOnlyTheirOwnWindows) {
  test::LoopbackListener listener;
  constexpr int kWorkers = 4;
  std::vector<std::thread> workers;
  std::vector<SOCKET> left_open(kWorkers, INVALID_SOCKET);
  std::vector<int> reads(kWorkers, 0);
  for (int i = 0; i < kWorkers; ++i) {
    workers.emplace_back([&, i] {
      MessageQueue& q = MessageQueue::ForThisThread();
      const SOCKET s = WsSocket(AF_INET, SOCK_STREAM, 0);
      const WindowHandle w = CreateMessageWindow([&, i, s](Message& m) {
        if (m.wparam == s && WSAGETSELECTEVENT(m.lparam) == FD_READ) ++reads[i];
      });
      if (WsConnect(s, listener.Address()) == 0 && WSAAsyncSelect(s, w, kNotify, kAll) == 0) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (reads[i] == 0 && std::chrono::steady_clock::now() < end) {
          q.Wait({}, 50);
          q.DispatchAll();
        }
      }
      DestroyMessageWindow(w);
      if (i == 0)
        left_open[0] = s;
      else
        WsCloseSocket(s);
    });
  }
  std::vector<test::RawSocket> peers;
  for (int i = 0; i < kWorkers; ++i) peers.push_back(listener.Accept());
  for (test::RawSocket p : peers) EXPECT_TRUE(test::RawSendAll(p, "hi"));
  for (std::thread& t : workers) t.join();
  EXPECT_EQ(reads, std::vector<int>(kWorkers, 1));
  EXPECT_EQ(WsCloseSocket(left_open[0]), 0);
  for (test::RawSocket p : peers) test::RawClose(p);
}

}  // namespace
}  // namespace zp
