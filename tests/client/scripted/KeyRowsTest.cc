// Key synchronisation over the scripted transport: every way an attempt on a route ends
// or moves on, with its exact text, where it goes next, the result code, the recorded
// key outcome and what it does to the worker; then the ring of routes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "client/scripted/ScriptedRig.h"
#include "net/ZWinSock.h"

namespace zp::test {
namespace {

using sim::CloseStage;
using sim::KeyReplyKind;
using sim::LoginReplyConfig;
using sim::RouteConfig;

enum class Next { NextRoute, Exit, Error, Complete };
const char* const kNextName[] = {"NextRoute", "Exit", "Error", "Complete"};

struct KeyRow {
  const char* name;
  RouteConfig route;  // r1; a healthy r2 follows it in the ring
  std::function<void(ScriptedTransport&)> fault;
  std::string text;  // the final text; "%E" stands for the error text of `code`
  int code = 0;
  Next next = Next::NextRoute;
  int closes = 0;                     // close notifications
  std::string traced;                 // a line of r1's attempt before its end ("%E" likewise)
  const char* waited_from = nullptr;  // with `waited_ms`: the packet whose silence ended r1
  std::uint32_t waited_ms = 0;
  int repeats = 0;         // public-key requests sent again on heartbeats listing "1"
  int heartbeats = -1;     // heartbeats r1 took from the client, when given
  int key_bytes = 0;       // the key's data part, when one arrived on r1
  double key_seconds = 0;  // from the first request to the key, when it arrived on r1
};

std::ostream& operator<<(std::ostream& os, const KeyRow& row) { return os << row.name; }

// The countdown line of r1 that shows `state`, with or without the seconds left.
int StateLine(const ScriptedHost& host, const std::string& state) {
  for (std::size_t i = 0; i < host.lines.size(); ++i) {
    const std::string& l = host.lines[i];
    if (l.starts_with("r1 0:127.0.0.1 ") && l.ends_with(" " + state)) return static_cast<int>(i);
  }
  return -1;
}

class KeyRowsTest : public ::testing::TestWithParam<KeyRow> {};

TEST_P(KeyRowsTest, EndsOrMovesOnWithItsText) {
  const KeyRow& row = GetParam();
  ScriptedRig rig;
  const std::string r1 = rig.AddRoute(row.route);
  const std::string r2 = rig.AddRoute();
  if (row.fault) row.fault(rig.transport);
  std::string last_sync;
  rig.keys.SynchronizeKeys(rig.routes, last_sync);
  ScriptedHost& host = rig.host;
  const std::string text = Expand(row.text, row.code);

  const int end = StateLine(host, kNextName[static_cast<int>(row.next)]);
  ASSERT_GE(end, 0) << host.Dump();
  const int r2_at = host.IndexOf("CurrentRoute(1) r2 127.0.0.1:27002");
  const int r1_end = r2_at < 0 ? static_cast<int>(host.lines.size()) : r2_at;
  if (!row.traced.empty()) {
    EXPECT_GE(host.IndexOf(Expand(row.traced, row.code)), 0) << host.Dump();
  }
  if (row.waited_from != nullptr) {
    const int sent = host.IndexOfPrefix(row.waited_from);
    ASSERT_GE(sent, 0) << host.Dump();
    const std::uint32_t waited = host.ticks[static_cast<std::size_t>(end)] - host.ticks[static_cast<std::size_t>(sent)];
    EXPECT_GE(waited, row.waited_ms);
    EXPECT_LE(waited, row.waited_ms + 100);  // noticed within two passes
  }
  // No attempt logs in twice: an unanswered key login is not sent again.
  EXPECT_LE(host.CountPrefix("<Tx>     Sa (L)Login", 0, r1_end), 1);
  EXPECT_EQ(host.CountPrefix("<Tx+>    Sa (P)PublicKey", 0, r1_end), row.repeats);
  EXPECT_EQ(host.CountPrefix("ReTx === BEGINS ", 0, r1_end), row.repeats);
  if (row.heartbeats >= 0) {
    EXPECT_EQ(rig.transport.RouteStats(0).heartbeats, row.heartbeats);
  }
  EXPECT_EQ(rig.transport.RouteStats(0).logouts, row.next == Next::Complete ? 1 : 0);
  EXPECT_EQ(host.closed_notifications, row.closes);
  EXPECT_FALSE(rig.connection.HasSocket());

  const KeyResult key = host.record.Snapshot().key;
  bool received = row.key_bytes > 0;
  if (row.next == Next::NextRoute) {
    // r1 is given up with its text traced; r2 delivers the key, and the status left at
    // Complete is the text r1 left behind.
    EXPECT_EQ(host.lines[static_cast<std::size_t>(end) + 1], text);
    ASSERT_GT(r2_at, end) << host.Dump();
    EXPECT_EQ(host.statuses.back(), text);
    EXPECT_EQ(last_sync, r2);
    EXPECT_EQ(key.attempts, 2);
    received = true;
  } else {
    // Every route's score, then the final text (also the status) when not Complete.
    EXPECT_EQ(host.lines[static_cast<std::size_t>(end) + 1], "Route  1 " + r1 + " Score(25)");
    EXPECT_EQ(host.lines[static_cast<std::size_t>(end) + 2], "Route  2 " + r2 + " Score(25)");
    if (row.next != Next::Complete) {
      EXPECT_EQ(host.lines[static_cast<std::size_t>(end) + 3], text);
    }
    EXPECT_EQ(host.statuses.back(), text);
    EXPECT_LT(r2_at, 0) << "no other route is tried";
    EXPECT_EQ(key.attempts, 1);
  }
  EXPECT_EQ(host.result_code, received ? kResultSuccess : kResultFailure);
  EXPECT_EQ(key.outcome, received ? KeyOutcome::Received : KeyOutcome::Failed);
  EXPECT_EQ(key.detail, received ? "" : text);
  if (row.key_bytes > 0) {
    EXPECT_EQ(key.bytes, row.key_bytes);
    EXPECT_GE(key.seconds, row.key_seconds);
    EXPECT_LT(key.seconds, row.key_seconds + 0.5);
    EXPECT_TRUE(host.Has(Format("PublicKey Request SUCCESS %d Bytes %3.2fsec", key.bytes, key.seconds)));
    const std::string success = Format("PublicKey SUCCESS %d Bytes %3.2fsec", key.bytes, key.seconds);
    EXPECT_THAT(host.statuses, ::testing::IsSupersetOf({std::string("Wait PublicKey"), success}));
  }
}

const char* const kKeyRequest = "<Tx>     Sa (P)PublicKey";

INSTANTIATE_TEST_SUITE_P(
    Rows, KeyRowsTest,
    ::testing::Values(
        KeyRow{.name = "no socket", .fault = [](ScriptedTransport& transport) { transport.open_error = WSAEMFILE; },
               .text = "0: couldn't create socket Error(10024)", .next = Next::Error},
        KeyRow{.name = "connect refused", .route = {.refuse = true}, .text = "", .code = WSAECONNREFUSED,
               .traced = "0: connect() failed to r1 127.0.0.1 6979 (27001) %E"},
        KeyRow{.name = "no notifications",
               .fault = [](ScriptedTransport& transport) { transport.notify_error = WSAENETDOWN; }, .text = "",
               .code = WSAENETDOWN, .next = Next::Error, .traced = "0: WSAAsyncSelect() err %E"},
        KeyRow{.name = "login send fails", .fault = FailSend('L', 1, kReset),
               .text = "SendKeyPageLogin:  send() failed %E", .code = kReset},
        KeyRow{.name = "login unanswered", .route = {.key_login = {.kind = LoginReplyConfig::Kind::Silent}},
               .text = "Timeout waiting for login response", .waited_from = "<Tx>     Sa (L)Login", .waited_ms = 5000},
        KeyRow{.name = "login refused",
               .route = {.key_login = {.kind = LoginReplyConfig::Kind::Refuse, .status = 40, .text = "Keys locked"}},
               .text = "Keys locked", .next = Next::Exit},
        KeyRow{.name = "key request send fails", .fault = FailSend('P', 1, kReset),
               .text = "SendPublicKey:  send() failed %E", .code = kReset},
        KeyRow{.name = "no heartbeats", .route = {.key_heartbeats = false, .key_reply = KeyReplyKind::Never},
               .text = "No heartbeats received during wait for public key response", .waited_from = kKeyRequest,
               .waited_ms = 4000},
        KeyRow{.name = "heartbeat send fails", .route = {.key_reply = KeyReplyKind::Never},
               .fault = FailSend('H', 1, kReset), .text = "SendHeartbeat:  send() failed %E", .code = kReset},
        // The client's own heartbeat goes out every two seconds of the ten.
        KeyRow{.name = "key never comes while heartbeats flow", .route = {.key_reply = KeyReplyKind::Never},
               .text = "Timeout waiting for public key response", .waited_from = kKeyRequest, .waited_ms = 10000,
               .heartbeats = 4},
        KeyRow{.name = "heartbeats list 1 until the key comes",
               .route = {.key_heartbeat_text = "1", .key_delay_ms = 16000}, .text = "", .next = Next::Complete,
               .repeats = 7, .key_bytes = 220, .key_seconds = 16.0},
        // However long the gateway keeps asking, the request goes again: no count ends it.
        KeyRow{.name = "heartbeats list 1 for a minute",
               .route = {.key_heartbeat_text = "1", .key_delay_ms = 60000}, .text = "", .next = Next::Complete,
               .repeats = 29, .key_bytes = 220, .key_seconds = 60.0},
        KeyRow{.name = "key reply with a status",
               .route = {.key_reply = KeyReplyKind::Status, .key_status = 7, .key_status_text = "Key not available"},
               .text = "Key not available", .next = Next::Exit},
        KeyRow{.name = "error indicator",
               .route = {.key_reply = KeyReplyKind::ErrorIndicator, .key_error_text = "Public key unavailable"},
               .text = "Public key unavailable", .next = Next::Error},
        KeyRow{.name = "key of 99 characters", .route = {.key_length = 99},
               .text = "No (or invalid) publickey was returned", .next = Next::Error},
        KeyRow{.name = "key of 100 characters", .route = {.key_length = 100}, .text = "", .next = Next::Complete,
               .key_bytes = 192},
        KeyRow{.name = "largest key reply", .route = {.key_reply = KeyReplyKind::Largest}, .text = "",
               .next = Next::Complete, .key_bytes = 5320},
        KeyRow{.name = "logout send fails after the key", .fault = FailSend('T', 1, kReset),
               .text = "SendCircuitLogout:  send() failed", .next = Next::Error, .key_bytes = 220},
        // A close notification frees the socket: the next send meets no socket.
        KeyRow{.name = "closed after the key login", .route = {.close_stage = CloseStage::AfterLogin},
               .text = "SendPublicKey:  send() failed %E", .code = WSAENOTSOCK, .closes = 1},
        KeyRow{.name = "reset after the key login",
               .route = {.close_stage = CloseStage::AfterLogin, .close_with_reset = true},
               .text = "SendPublicKey:  send() failed %E", .code = WSAENOTSOCK, .closes = 1},
        KeyRow{.name = "closed during the key wait", .route = {.close_stage = CloseStage::DuringKeyWait},
               .text = "SendHeartbeat:  send() failed %E", .code = WSAENOTSOCK, .closes = 1},
        KeyRow{.name = "reset during the key wait",
               .route = {.close_stage = CloseStage::DuringKeyWait, .close_with_reset = true},
               .text = "SendHeartbeat:  send() failed %E", .code = WSAENOTSOCK, .closes = 1},
        // The key counts although the logout cannot go out any more.
        KeyRow{.name = "closed after the key", .route = {.close_stage = CloseStage::AfterKey},
               .text = "SendCircuitLogout:  send() failed", .next = Next::Error, .closes = 1, .key_bytes = 220},
        KeyRow{.name = "reset after the key", .route = {.close_stage = CloseStage::AfterKey, .close_with_reset = true},
               .text = "SendCircuitLogout:  send() failed", .next = Next::Error, .closes = 1, .key_bytes = 220}),
    RowName<KeyRow>);

// Any "1" in a heartbeat's list means the request is not confirmed yet: it goes again.
TEST(KeyHeartbeatTest, RequestIsRepeatedOnlyWhenTheListHoldsAOne) {
  for (const auto& [list, repeats] : {std::pair{"1", true}, {"10", true}, {"21", true}, {"0", false}, {"2-9", false},
                                      {"", false}}) {
    SCOPED_TRACE(list);
    ScriptedRig rig;
    rig.AddRoute({.key_heartbeat_text = list, .key_reply = KeyReplyKind::Never});
    rig.host.stop_at = [&](const std::string&) { return rig.host.CountPrefix("<Rx>     Sa (H)Heartbeat") == 3; };
    std::string last_sync;
    rig.keys.SynchronizeKeys(rig.routes, last_sync);
    EXPECT_EQ(rig.host.CountPrefix("<Tx+>    Sa (P)PublicKey"), repeats ? 2 : 0) << rig.host.Dump();
    EXPECT_EQ(rig.transport.RouteStats(0).key_requests, repeats ? 3 : 1);
  }
}

TEST(KeyResultTest, AKeyMakesTheResultSuccessUnlessSomeRoutesFailed) {
  for (const auto& [before, after] : {std::pair{kResultFailure, kResultSuccess}, {kResultSuccess, kResultSuccess},
                                      {kResultSomeRoutesFailed, kResultSomeRoutesFailed}}) {
    ScriptedRig rig;
    rig.AddRoute();
    rig.host.result_code = before;
    std::string last_sync;
    rig.keys.SynchronizeKeys(rig.routes, last_sync);
    EXPECT_EQ(rig.host.result_code, after) << before;
  }
}

// The ring: r1 delivers, r2 and r3 refuse. It starts after the route last connected
// (found whatever its case) and wraps around after the last.
TEST(KeyRingTest, StartsAfterTheLastSynchronisedRouteAndWrapsAround) {
  const struct {
    std::string last_sync;
    std::vector<int> tried;
  } cases[] = {
      {"", {0}},
      {"r1=127.0.0.1:27001", {1, 2, 0}},
      {"R1=127.0.0.1:27001", {1, 2, 0}},
      {"r2=127.0.0.1:27002", {2, 0}},
      {"r3=127.0.0.1:27003", {0}},
      {"gone=127.0.0.9:1", {0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last_sync);
    ScriptedRig rig;
    const std::string r1 = rig.AddRoute();
    rig.AddRoute({.refuse = true});
    rig.AddRoute({.refuse = true});
    std::string last_sync = c.last_sync;
    rig.keys.SynchronizeKeys(rig.routes, last_sync);
    std::vector<int> tried;
    for (const std::string& line : rig.host.lines)
      if (line.starts_with("CurrentRoute(")) tried.push_back(line[13] - '0');
    EXPECT_EQ(tried, c.tried) << rig.host.Dump();
    EXPECT_EQ(last_sync, r1);  // a refused route never becomes the last one connected
    EXPECT_EQ(rig.host.record.Snapshot().key.outcome, KeyOutcome::Received);
  }
}

// Routes that keep failing at route level are circled until a stop ends it, when it comes
// before their tries are used up.
TEST(KeyRingTest, AStopEndsTheCircling) {
  ScriptedRig rig;
  rig.AddRoute({.refuse = true});
  const std::string r2 = rig.AddRoute({.key_login = {.kind = LoginReplyConfig::Kind::Silent}});
  rig.host.result_code = kResultSomeRoutesFailed;
  rig.host.stop_at = [&](const std::string&) { return rig.host.CountPrefix("CurrentRoute(") == 5; };
  std::string last_sync;
  rig.keys.SynchronizeKeys(rig.routes, last_sync);

  EXPECT_EQ(rig.host.CountPrefix("CurrentRoute(0) r1 "), 3) << rig.host.Dump();
  EXPECT_EQ(rig.host.CountPrefix("CurrentRoute(1) r2 "), 2);
  EXPECT_EQ(rig.host.CountPrefix("Route "), 0) << "a stop lists no scores";
  EXPECT_EQ(last_sync, r2);
  EXPECT_FALSE(rig.connection.HasSocket());
  EXPECT_EQ(rig.host.result_code, kResultSomeRoutesFailed);
  const KeyResult key = rig.host.record.Snapshot().key;
  EXPECT_EQ(key.outcome, KeyOutcome::NotReached);
  EXPECT_EQ(key.attempts, 5);
}

// An entry without an address or with a port outside 1 to 65535 is skipped, never
// connected to; a ring with nothing to connect to ends rather than circle.
TEST(KeyRingTest, EntriesWithoutAddressOrPortAreSkipped) {
  for (const bool with_good_route : {true, false}) {
    SCOPED_TRACE(with_good_route);
    ScriptedRig rig;
    rig.routes.push_back({"noaddress", 25});
    rig.routes.push_back({"r2=:27002", 25});
    rig.routes.push_back({"r3=127.0.0.1:117377", 25});
    if (with_good_route) rig.AddRoute();
    std::string last_sync;
    rig.keys.SynchronizeKeys(rig.routes, last_sync);

    EXPECT_TRUE(rig.host.Has("Route \"noaddress\" has no address - skipped")) << rig.host.Dump();
    EXPECT_TRUE(rig.host.Has("Route \"r2=:27002\" has no address - skipped"));
    EXPECT_TRUE(rig.host.Has("Route \"r3=127.0.0.1:117377\" has port 117377, not 1 to 65535 - skipped"));
    EXPECT_EQ(rig.transport.connects.size(), with_good_route ? 1u : 0u);
    EXPECT_EQ(rig.host.Has("No route has an address and a port to connect to"), !with_good_route);
    EXPECT_EQ(rig.host.record.Snapshot().key.outcome, with_good_route ? KeyOutcome::Received : KeyOutcome::Failed);
  }
}

// Routes that all fail at route level are each tried three times, then the ring ends
// without the key, naming the last failure: a dead gateway gives a result, not a test
// that circles until its time-out. A route that fails only its first tries still
// delivers the key.
TEST(KeyRingTest, EndsAfterThreeTriesOnEachRoute) {
  const struct {
    const char* name;
    std::vector<RouteConfig> routes;
    std::size_t connects;
    std::string detail;  // empty: the key arrived
  } cases[] = {
      {"two refusing", {{.refuse = true}, {.refuse = true}}, 6,
       "Tried each route 3 times - the last, r2: " + SocketErrorText(WSAECONNREFUSED)},
      {"one refusing", {{.refuse = true}}, 3, "Tried each route 3 times - the last, r1: " + SocketErrorText(WSAECONNREFUSED)},
      {"refusing, then a silent login", {{.refuse = true}, {.key_login = {.kind = LoginReplyConfig::Kind::Silent}}}, 6,
       "Tried each route 3 times - the last, r2: Timeout waiting for login response"},
      {"silent login, then refusing", {{.key_login = {.kind = LoginReplyConfig::Kind::Silent}}, {.refuse = true}}, 6,
       "Tried each route 3 times - the last, r2: " + SocketErrorText(WSAECONNREFUSED)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedRig rig;
    for (const RouteConfig& route : c.routes) rig.AddRoute(route);
    std::string last_sync;
    rig.keys.SynchronizeKeys(rig.routes, last_sync);
    EXPECT_EQ(rig.transport.connects.size(), c.connects) << rig.host.Dump();
    const KeyResult key = rig.host.record.Snapshot().key;
    EXPECT_EQ(key.outcome, KeyOutcome::Failed);
    EXPECT_EQ(key.detail, c.detail);
    EXPECT_EQ(key.attempts, static_cast<int>(c.connects));
    // Every route's score, then the reason, as any other end of the ring.
    const int scores = rig.host.IndexOf("Route  1 " + rig.routes[0].text + " Score(25)");
    ASSERT_GT(scores, 0) << rig.host.Dump();
    EXPECT_EQ(rig.host.lines.at(static_cast<std::size_t>(scores) + c.routes.size()), c.detail);
    EXPECT_EQ(rig.host.statuses.back(), c.detail);
    EXPECT_EQ(rig.host.result_code, kResultFailure);
  }
}

}  // namespace
}  // namespace zp::test
