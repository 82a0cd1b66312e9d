// Route discovery over the scripted transport: every way one route request ends, with
// its lines, the recorded server outcome and whether the host's next address is asked;
// the walk over the server list; DNS with the persistent cache.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "client/scripted/ScriptedRig.h"
#include "framework/Errors.h"
#include "platform/Random.h"
#include "platform/Registry.h"

namespace zp::test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Pair;

constexpr std::int32_t kPort = 0x6900;
const std::vector<std::string> kRoutes = {"a=127.0.0.1:1", "b=127.0.0.1:2"};
const std::string kHostRoot = std::string(DnsCache::kRootKey) + "\\";

// The order in which the walk tries `list` from the generator's `seed`: each position
// in turn swapped with one drawn from the whole list.
std::vector<std::string> ShuffledFrom(std::uint32_t seed, std::vector<std::string> list) {
  const auto n = static_cast<std::uint32_t>(list.size());
  for (std::uint32_t i = 0; i < n; ++i) {
    seed = seed * 134775813u + 1u;
    std::swap(list[i], list[static_cast<std::uint32_t>((std::uint64_t{seed} * n) >> 32)]);
  }
  return list;
}

// Walks `server` from the generator's first seed; returns the route texts.
std::vector<std::string> Walk(ScriptedRig& rig, const std::string& server) {
  ::zp::testing::SetRandomSeed(0);
  RouteList routes;
  rig.discovery.DiscoverRoutes(server, kPort, "A", routes);
  std::vector<std::string> texts;
  for (const RouteEntry& r : routes) {
    EXPECT_EQ(r.score, 25) << r.text;
    texts.push_back(r.text);
  }
  return texts;
}

// --- one request ---

// The host "routes.test" has two addresses; from the first seed the walk asks
// 127.0.0.2 first, which each row sets up, then 127.0.0.1, which answers "z" when asked.
struct DiscoveryRow {
  const char* name;
  sim::RouteServerConfig server;
  std::function<void(ScriptedRig&)> fault;
  std::vector<std::string> lines;  // consecutive lines of the request; "%E" is the error text of `code`
  int code = 0;
  ServerOutcome outcome = ServerOutcome::Answered;
  std::string detail;  // "%E" likewise
  std::vector<std::string> routes = kRoutes;
  bool next_tried = false;  // no request could be made: the host's next address is asked
  int closes = 0;
  std::string status;     // a status text the request showed
  std::uint32_t waited_ms = 0;  // from the request to its first line
  bool listening = true;  // a server at 127.0.0.2 at all
};

std::ostream& operator<<(std::ostream& os, const DiscoveryRow& row) { return os << row.name; }

class DiscoveryRowsTest : public ::testing::TestWithParam<DiscoveryRow> {};

TEST_P(DiscoveryRowsTest, EndsWithItsLinesAndOutcome) {
  const DiscoveryRow& row = GetParam();
  ScriptedRig rig;
  rig.dns["routes.test"] = {"127.0.0.1", "127.0.0.2"};
  if (row.listening) rig.transport.AddRouteServer(row.server, "127.0.0.2", kPort, kRoutes);
  rig.transport.AddRouteServer({}, "127.0.0.1", kPort, {"z=127.0.0.9:9"});
  if (row.fault) row.fault(rig);
  const std::vector<std::string> routes = Walk(rig, "routes.test");
  const ScriptedHost& host = rig.host;

  const int first = host.IndexOf(Expand(row.lines[0], row.code));
  ASSERT_GE(first, 0) << host.Dump();
  ASSERT_LE(static_cast<std::size_t>(first) + row.lines.size(), host.lines.size()) << host.Dump();
  for (std::size_t i = 1; i < row.lines.size(); ++i)
    EXPECT_EQ(host.lines[static_cast<std::size_t>(first) + i], Expand(row.lines[i], row.code)) << host.Dump();
  EXPECT_EQ(host.IndexOf("GetRoute Start \"127.0.0.2:6900\""), host.IndexOf("Saving DNS lookup to registry") + 1);
  EXPECT_EQ(host.Has("GetRoute Start \"127.0.0.1:6900\""), row.next_tried);
  EXPECT_EQ(routes, row.routes);
  EXPECT_EQ(host.closed_notifications, row.closes);
  EXPECT_FALSE(rig.connection.HasSocket());
  if (!row.status.empty()) {
    EXPECT_THAT(host.statuses, ::testing::Contains(row.status));
  }
  if (row.waited_ms > 0) {
    const std::uint32_t waited = host.ticks[static_cast<std::size_t>(first)] -
                                 host.ticks[static_cast<std::size_t>(host.IndexOfPrefix("<Tx>     Sa (R)Routes"))];
    EXPECT_GE(waited, row.waited_ms);
    EXPECT_LE(waited, row.waited_ms + 500);
  }
  const RunSnapshot s = host.record.Snapshot();
  ASSERT_EQ(s.servers.size(), row.next_tried ? 2u : 1u);
  EXPECT_EQ(s.servers[0].server, "routes.test");
  EXPECT_EQ(s.servers[0].address, "127.0.0.2");
  EXPECT_EQ(s.servers[0].port, kPort);
  EXPECT_EQ(s.servers[0].outcome, row.outcome);
  EXPECT_EQ(s.servers[0].detail, Expand(row.detail, row.code));
  EXPECT_EQ(s.servers[0].routes, row.outcome == ServerOutcome::Answered ? 2 : 0);
}

const std::string kCreated = "Socket $0100 (256) Created";
const std::string kFreed = "Socket $0100 (256) Freed";
const std::string kFinished = "GetRoute Finished \"127.0.0.2:6900\"";
const std::vector<std::string> kListed = {"00 \"OK\"", "01 \"a=127.0.0.1:1\"", "02 \"b=127.0.0.1:2\"", kFreed,
                                          kFinished};
const std::string kAbort = "Error occurred - Abort getroutes";

INSTANTIATE_TEST_SUITE_P(
    Rows, DiscoveryRowsTest,
    ::testing::Values(
        DiscoveryRow{.name = "no socket", .fault = [](ScriptedRig& rig) { rig.transport.open_error = WSAEMFILE; },
                     .lines = {"GetRoute Start \"127.0.0.2:6900\"", "couldn't create socket Error(10024)", kFinished},
                     .code = WSAEMFILE, .outcome = ServerOutcome::ConnectFailed, .detail = "%E", .routes = {},
                     .next_tried = true},
        DiscoveryRow{.name = "connect refused",
                     .lines = {kCreated, "connect() failed to \"127.0.0.2:6900\" %E ", kFreed, kFinished,
                               "GetRoute Start \"127.0.0.1:6900\""},
                     .code = WSAECONNREFUSED, .outcome = ServerOutcome::ConnectFailed, .detail = "%E",
                     .routes = {"z=127.0.0.9:9"}, .next_tried = true, .listening = false},
        DiscoveryRow{.name = "no notifications",
                     .fault = [](ScriptedRig& rig) { rig.transport.notify_error = WSAENETDOWN; },
                     .lines = {kCreated, "WSAAsyncSelect() err %E", kFreed, kFinished}, .code = WSAENETDOWN,
                     .outcome = ServerOutcome::ConnectFailed, .detail = "%E", .routes = {}, .next_tried = true},
        DiscoveryRow{.name = "send fails",
                     .fault = [](ScriptedRig& rig) { FailSend('R', 1, WSAECONNRESET)(rig.transport); },
                     .lines = {"SendRouteRequest:  send() failed %E", kAbort, kFreed, kFinished},
                     .code = WSAECONNRESET, .outcome = ServerOutcome::SendFailed, .detail = "%E", .routes = {}},
        // A peer that closes as soon as it accepts: the close frees the socket first.
        DiscoveryRow{.name = "closed before the request",
                     .fault =
                         [](ScriptedRig& rig) {
                           rig.transport.AddRoute({.close_stage = sim::CloseStage::OnConnect}, "127.0.0.2", kPort);
                         },
                     .lines = {"SendRouteRequest:  send() failed %E", kAbort, kFinished}, .code = WSAENOTSOCK,
                     .outcome = ServerOutcome::SendFailed, .detail = "%E", .routes = {}, .closes = 1,
                     .listening = false},
        DiscoveryRow{.name = "no answer", .server = {.silent = true},
                     .lines = {"Timeout waiting for Response", kAbort, kFreed, kFinished},
                     .outcome = ServerOutcome::NoAnswer, .routes = {}, .status = "Routes Timeout", .waited_ms = 40000},
        DiscoveryRow{.name = "closed instead of an answer", .server = {.close_instead = true},
                     .lines = {"Timeout waiting for Response", kAbort, kFinished}, .outcome = ServerOutcome::NoAnswer,
                     .routes = {}, .closes = 1, .waited_ms = 40000},
        DiscoveryRow{.name = "answer without OK", .server = {.status_line = "ERR No routes available"},
                     .lines = {"00 \"ERR No routes available\"", "01 \"a=127.0.0.1:1\"", "02 \"b=127.0.0.1:2\"",
                               kFreed, kFinished},
                     .outcome = ServerOutcome::NotOk, .detail = "ERR No routes available", .routes = {},
                     .status = "Rx Response from 127.0.0.2:6900 (26880) \"ERR No routes available\""},
        DiscoveryRow{.name = "answer with routes", .lines = kListed,
                     .status = "Rx Response from 127.0.0.2:6900 (26880) \"OK\""},
        DiscoveryRow{.name = "garbage before the answer", .server = {.garbage_before = true}, .lines = kListed},
        DiscoveryRow{.name = "answer in single bytes", .server = {.bytewise = true}, .lines = kListed},
        // A packet without a line is no answer: the one behind it is taken.
        DiscoveryRow{.name = "empty packet before the answer", .server = {.heartbeat_first = true}, .lines = kListed},
        DiscoveryRow{.name = "two answers at once", .server = {.twice = true}, .lines = kListed},
        DiscoveryRow{.name = "stopped while waiting", .server = {.silent = true},
                     .fault =
                         [](ScriptedRig& rig) {
                           rig.host.stop_at = [](const std::string& line) { return line.starts_with("<Tx>"); };
                         },
                     .lines = {kFreed, kFinished}, .outcome = ServerOutcome::Stopped, .routes = {}}),
    RowName<DiscoveryRow>);

// --- the walk over the server list ---

struct Server {
  std::string address;
  std::vector<std::string> lines;
  sim::RouteServerConfig config = {};
};

struct WalkCase {
  const char* name;
  std::string server;
  std::vector<Server> servers;
  std::vector<std::string> asked;  // addresses connected to, in order
  std::vector<std::string> routes;
  std::vector<std::string> traced = {};
};

std::vector<WalkCase> WalkCases() {
  const auto host = ShuffledFrom(0, {"127.0.0.2", "127.0.0.3"});
  const sim::RouteServerConfig refusing{.status_line = "ERR No routes available"};
  return {
      // Every answer adds its new routes and drops those it does not list, so the list
      // is the last answer's in first-seen order: "b" keeps its first spelling.
      {"the last answer wins", "127.0.0.1,127.0.0.2",
       {{"127.0.0.1", {"a=127.0.0.1:1", "b=127.0.0.1:2"}}, {"127.0.0.2", {"c=127.0.0.1:3", "B=127.0.0.1:2"}}},
       {"127.0.0.1", "127.0.0.2"}, {"b=127.0.0.1:2", "c=127.0.0.1:3"},
       {"Connected to 127.0.0.2:6900 (26880)", "00 \"OK\"", "02 \"B=127.0.0.1:2\""}},
      {"repeated and empty lines", "127.0.0.1",
       {{"127.0.0.1", {"a=127.0.0.1:1", "A=127.0.0.1:1", "", "b=127.0.0.1:2", "a=127.0.0.1:1"}}}, {"127.0.0.1"},
       {"a=127.0.0.1:1", "b=127.0.0.1:2"}, {"03 \"\"", "05 \"a=127.0.0.1:1\""}},
      {"a leading comma", ",127.0.0.1", {{"127.0.0.1", {"a=127.0.0.1:1"}}}, {}, {}},
      {"a doubled comma", "127.0.0.1,,127.0.0.2",
       {{"127.0.0.1", {"a=127.0.0.1:1"}}, {"127.0.0.2", {"b=127.0.0.1:2"}}}, {"127.0.0.1"}, {"a=127.0.0.1:1"}},
      // The first server answers twice; the spare copy is not taken for the second's.
      {"an answer left from the previous server", "127.0.0.1,127.0.0.2",
       {{"127.0.0.1", {"a=127.0.0.1:1"}, {.twice = true}}, {"127.0.0.2", {"b=127.0.0.1:2"}, {.delay_ms = 1000}}},
       {"127.0.0.1", "127.0.0.2"}, {"b=127.0.0.1:2"}},
      {"an answer without OK ends the host", "127.0.0.1,routes.test",
       {{"127.0.0.1", {"a=127.0.0.1:1"}}, {"127.0.0.2", {"x=127.0.0.1:9"}, refusing},
        {"127.0.0.3", {"x=127.0.0.1:9"}, refusing}},
       {"127.0.0.1", host[0]}, {"a=127.0.0.1:1"}, {"00 \"ERR No routes available\"", "01 \"x=127.0.0.1:9\""}},
      {"a refused connect tries the host's next address", "routes.test", {{host[1], {"a=127.0.0.1:1"}}},
       {host[0], host[1]}, {"a=127.0.0.1:1"},
       {"connect() failed to \"" + host[0] + ":6900\" " + SocketErrorText(WSAECONNREFUSED) + " "}},
      // Only an item whose text before the first "." is a number above 0 is an address.
      {"items without a positive first number are host names", "0.1.2.3,localroutes,127.0.0.1",
       {{"127.0.0.1", {"a=127.0.0.1:1"}}}, {"127.0.0.1", "127.0.0.1"}, {"a=127.0.0.1:1"},
       {"[0] Address \"127.0.0.1\"", "No cached DNS entries found for localroutes"}},
  };
}

TEST(DiscoveryWalkTest, AsksEachItemAndMergesTheAnswers) {
  for (const WalkCase& c : WalkCases()) {
    SCOPED_TRACE(c.name);
    ScriptedRig rig;
    rig.dns["routes.test"] = {"127.0.0.2", "127.0.0.3"};
    rig.dns["0.1.2.3"] = {"127.0.0.1"};
    for (const Server& s : c.servers) rig.transport.AddRouteServer(s.config, s.address, kPort, s.lines);
    EXPECT_EQ(Walk(rig, c.server), c.routes) << rig.host.Dump();
    std::vector<std::string> asked;
    for (const std::string& where : rig.transport.connects) asked.push_back(where.substr(0, where.find(':')));
    EXPECT_EQ(asked, c.asked);
    for (const std::string& line : c.traced) EXPECT_TRUE(rig.host.Has(line)) << line;
    if (c.server.starts_with("0.1.2.3")) {
      EXPECT_THAT(rig.dns_asked, ElementsAre("0.1.2.3", "localroutes"));
    }
  }
}

TEST(DiscoveryWalkTest, EachRequestShowsItsProgressAndTakesTheNextClientSequence) {
  ScriptedRig rig;
  rig.transport.AddRouteServer({}, "127.0.0.1", kPort, {"a=127.0.0.1:1"});
  rig.transport.AddRouteServer({}, "127.0.0.2", kPort, {"b=127.0.0.1:2"});
  Walk(rig, "127.0.0.1,127.0.0.2");

  std::vector<std::string> sent;
  for (const std::string& line : rig.host.lines)
    if (line.starts_with("<Tx>")) sent.push_back(line);
  ASSERT_EQ(sent.size(), 2u) << rig.host.Dump();
  EXPECT_NE(sent[0].find(" cli0001 "), std::string::npos) << sent[0];
  EXPECT_NE(sent[1].find(" cli0002 "), std::string::npos) << sent[1];
  const std::vector<std::string>& shown = rig.host.statuses;
  ASSERT_EQ(shown.size(), 8u) << ::testing::PrintToString(shown);
  const std::regex updated("Routes Updated \\d\\d/\\d\\d \\d\\d:\\d\\d");
  for (std::size_t i = 0; i < 2; ++i) {
    const std::string at = "127.0.0." + std::to_string(i + 1) + ":6900 (26880)";
    EXPECT_EQ(shown[4 * i], "Connected to " + at);
    EXPECT_EQ(shown[4 * i + 1], "Tx Request to " + at);
    EXPECT_EQ(shown[4 * i + 2], "Rx Response from " + at + " \"OK\"");
    EXPECT_TRUE(std::regex_match(shown[4 * i + 3], updated)) << shown[4 * i + 3];
  }
}

// --- DNS and the cache ---

std::vector<std::pair<std::string, std::string>> Cached(const std::string& store, const std::string& host) {
  std::vector<std::pair<std::string, std::string>> out;
  if (const auto values = Registry(store).ReadValues(kHostRoot + host))
    for (const auto& v : *values) out.emplace_back(v.name, v.data);
  return out;
}

void Cache(const std::string& store, const std::string& host, const std::vector<std::string>& list) {
  std::vector<Registry::Value> values;
  for (std::size_t i = 0; i < list.size(); ++i)
    values.push_back({std::to_string(i), Registry::ValueType::String, list[i]});
  ASSERT_TRUE(Registry(store).ReplaceValues(kHostRoot + host, values));
}

TEST(DnsCacheTest, AnAnswerReplacesTheHostsCachedListWhole) {
  ScriptedRig rig;
  Cache(rig.store.path, "routes.test", {"127.0.0.9", "127.0.0.8", "127.0.0.7"});
  Cache(rig.store.path, "other.test", {"127.0.0.5"});
  rig.dns["routes.test"] = {"127.0.0.2", "127.0.0.1"};
  std::vector<std::string> addresses;
  EXPECT_TRUE(rig.lookup.Lookup("routes.test", addresses));
  EXPECT_THAT(addresses, ElementsAre("127.0.0.2", "127.0.0.1"));
  EXPECT_THAT(rig.host.lines,
              ElementsAre("[0] Address \"127.0.0.2\"", "[1] Address \"127.0.0.1\"", "Saving DNS lookup to registry"));
  EXPECT_THAT(Cached(rig.store.path, "routes.test"), ElementsAre(Pair("0", "127.0.0.2"), Pair("1", "127.0.0.1")));
  EXPECT_THAT(Cached(rig.store.path, "other.test"), ElementsAre(Pair("0", "127.0.0.5")));

  // An answer without addresses still empties the key, and finds nothing.
  rig.dns["routes.test"] = {};
  EXPECT_FALSE(rig.lookup.Lookup("routes.test", addresses));
  EXPECT_EQ(rig.host.lines.back(), "Saving DNS lookup to registry");
  EXPECT_TRUE(Registry(rig.store.path).KeyExists(kHostRoot + "routes.test"));
  EXPECT_TRUE(Cached(rig.store.path, "routes.test").empty());
}

TEST(DnsCacheTest, WhenDnsFailsTheCacheIsReadNeverWritten) {
  const struct {
    const char* name;
    std::function<void(const std::string& store)> seed;
    std::string last_line;
    std::vector<std::string> addresses;
  } cases[] = {
      {"no store", nullptr, "Can't open DNS reg key", {}},
      {"no key for the host", [](const std::string& store) { Cache(store, "other.test", {"127.0.0.5"}); },
       "No cached DNS entries found for routes.test", {}},
      {"an empty key", [](const std::string& store) { Cache(store, "routes.test", {}); }, "No cached DNS entries found",
       {}},
      {"cached addresses",
       [](const std::string& store) { Cache(store, "routes.test", {"127.0.0.1", "127.0.0.2", "127.0.0.3"}); },
       "Found 3 cached DNS entries", {"127.0.0.1", "127.0.0.2", "127.0.0.3"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedRig rig;
    if (c.seed) c.seed(rig.store.path);
    std::vector<std::string> addresses;
    EXPECT_EQ(rig.lookup.Lookup("routes.test", addresses), !c.addresses.empty());
    EXPECT_THAT(rig.host.lines,
                ElementsAre("DNS lookup failed - Looking for cached DNS entries in registry", c.last_line));
    EXPECT_EQ(addresses, c.addresses);
    if (!c.seed) {
      EXPECT_FALSE(std::filesystem::exists(rig.store.path)) << "looking creates no store";
    }
  }
}

// The cached addresses are tried in the generator's order until one answers.
TEST(DnsCacheTest, CachedAddressesAreWalkedInShuffledOrder) {
  ScriptedRig rig;
  const std::vector<std::string> cached = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
  Cache(rig.store.path, "routes.test", cached);
  const auto order = ShuffledFrom(0, cached);
  rig.transport.AddRouteServer({}, order.back(), kPort, {"b=127.0.0.1:2"});
  EXPECT_THAT(Walk(rig, "routes.test"), ElementsAre("b=127.0.0.1:2")) << rig.host.Dump();
  std::vector<std::string> asked;
  std::vector<std::pair<std::string, std::string>> unchanged;
  for (std::size_t i = 0; i < order.size(); ++i) {
    asked.push_back(order[i] + ":26880");
    unchanged.emplace_back(std::to_string(i), cached[i]);
  }
  EXPECT_EQ(rig.transport.connects, asked);
  EXPECT_EQ(Cached(rig.store.path, "routes.test"), unchanged);
}

}  // namespace
}  // namespace zp::test
