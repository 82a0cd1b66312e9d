// Host names through DNS and the persistent cache, over whole probe runs: what a
// successful lookup leaves in the store, how a failed one falls back on it, and the
// store faults that end the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "client/ProbeHarness.h"
#include "client/discovery/DiscoverySupport.h"

namespace zp::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

class DnsCacheFlowTest : public ProbeHarness {
 protected:
  static HostResolver Answer(std::vector<std::string> addresses) {
    return [addresses](const std::string&, std::vector<std::string>& out) {
      out = addresses;
      return true;
    };
  }
  static HostResolver Failing() {
    return [](const std::string&, std::vector<std::string>&) { return false; };
  }
  // One run against "routes.test" that ends at the first "No Routes", or once the
  // walk has finished with routes.
  ProbeRun RunHost(std::uint16_t port, HostResolver resolver, const std::string& store = "") {
    ProbeSettings settings;
    settings.server = "routes.test";
    settings.port = port;
    settings.resolver = std::move(resolver);
    settings.store_path = store;
    settings.stop_when = [](const ProbeRun& r) { return r.Has("No Routes") || r.HasPrefix("CurrentRoute"); };
    return Run(settings);
  }
  static std::vector<std::string> Starts(const ProbeRun& run) {
    std::vector<std::string> out;
    for (const auto& l : run.lines)
      if (l.rfind("GetRoute Start", 0) == 0) out.push_back(l);
    return out;
  }
};

TEST_F(DnsCacheFlowTest, ALookupRewritesTheCacheAndAFailedOneWalksItInShuffledOrder) {
  CacheAddresses(StorePath(), "routes.test", {"127.0.0.9", "127.0.0.8", "127.0.0.7", "127.0.0.6"});
  CacheAddresses(StorePath(), "other.test", {"127.0.0.5"});

  // DNS answers: its addresses replace the old list whole, in DNS order.
  {
    auto s = StartOnOnePort({Answering({"a=127.0.0.1:1"}), Answering({"a=127.0.0.1:1"})}, {"127.0.0.1", "127.0.0.2"});
    const ProbeRun run = RunHost(s.port, Answer({"127.0.0.2", "127.0.0.1"}));
    EXPECT_THAT(std::vector<std::string>(run.lines.begin() + 2, run.lines.begin() + 5),
                ElementsAre("[0] Address \"127.0.0.2\"", "[1] Address \"127.0.0.1\"", "Saving DNS lookup to registry"))
        << Dump(run);
    EXPECT_THAT(CachedValues(StorePath(), "routes.test"), ElementsAre(Pair("0", "127.0.0.2"), Pair("1", "127.0.0.1")));
    EXPECT_THAT(CachedValues(StorePath(), "other.test"), ElementsAre(Pair("0", "127.0.0.5")));
  }

  // DNS fails: the cached addresses are tried in the generator's order; only the last
  // of them answers, so every one is tried.
  CacheAddresses(StorePath(), "routes.test", {"127.0.0.1", "127.0.0.2", "127.0.0.3"});
  const auto order = ShuffledFrom(::zp::testing::RandomSeed(), {"127.0.0.1", "127.0.0.2", "127.0.0.3"});
  {
    auto s = StartOnOnePort({Answering({"b=127.0.0.1:2"})}, {order[2]});
    const ProbeRun run = RunHost(s.port, Failing());
    EXPECT_TRUE(run.Has("DNS lookup failed - Looking for cached DNS entries in registry")) << Dump(run);
    EXPECT_TRUE(run.Has("Found 3 cached DNS entries"));
    const std::string p = HexPort(s.port);
    EXPECT_THAT(Starts(run), ElementsAre("GetRoute Start \"" + order[0] + ":" + p + "\"",
                                         "GetRoute Start \"" + order[1] + ":" + p + "\"",
                                         "GetRoute Start \"" + order[2] + ":" + p + "\""));
    ASSERT_EQ(run.routes.size(), 1u);
    EXPECT_EQ(run.routes[0].text, "b=127.0.0.1:2");
    // A failed lookup only reads the cache.
    EXPECT_THAT(CachedValues(StorePath(), "routes.test"),
                ElementsAre(Pair("0", "127.0.0.1"), Pair("1", "127.0.0.2"), Pair("2", "127.0.0.3")));
  }

  // DNS answers with no address: the key is emptied and the item skipped; a later
  // failed lookup then finds the key without entries.
  {
    const ProbeRun run = RunHost(1, Answer({}));
    EXPECT_TRUE(run.Has("Saving DNS lookup to registry"));
    EXPECT_FALSE(run.HasPrefix("GetRoute Start")) << Dump(run);
    EXPECT_TRUE(Registry(StorePath()).KeyExists(std::string(kDnsRoot) + "\\routes.test"));
    EXPECT_THAT(CachedValues(StorePath(), "routes.test"), IsEmpty());
  }
  {
    const ProbeRun run = RunHost(1, Failing());
    EXPECT_TRUE(run.Has("No cached DNS entries found")) << Dump(run);
    EXPECT_FALSE(run.HasPrefix("GetRoute Start"));
  }
}

TEST_F(DnsCacheFlowTest, AFailedLookupWithoutCacheSkipsTheItem) {
  // No store at all: the root key cannot be opened, and looking does not create it.
  const ProbeRun none = RunHost(1, Failing());
  EXPECT_TRUE(none.Has("Can't open DNS reg key")) << Dump(none);
  EXPECT_FALSE(std::filesystem::exists(StorePath()));

  // A store with the root key but no key for this host.
  CacheAddresses(StorePath(), "other.test", {"127.0.0.5"});
  const ProbeRun other = RunHost(1, Failing());
  EXPECT_TRUE(other.Has("No cached DNS entries found for routes.test")) << Dump(other);

  for (const ProbeRun* run : {&none, &other}) {
    EXPECT_FALSE(run->HasPrefix("GetRoute Start"));
    EXPECT_TRUE(run->Has("No Routes"));
  }
}

TEST_F(DnsCacheFlowTest, AStoreThatRefusesWritesEndsTheTest) {
  // A folder that cannot be made (a file is in its place), and a file that is no store.
  const std::string blocked = (dir_ / "blocker" / "registry.db").string();
  std::ofstream(dir_ / "blocker") << "a file, not a folder";
  const std::string garbage = (dir_ / "garbage.db").string();
  std::ofstream(garbage) << std::string(4096, 'x');

  for (const std::string& store : {blocked, garbage}) {
    SCOPED_TRACE(store);
    const ProbeRun run = RunHost(1, Answer({"127.0.0.1"}), store);
    const int saving = run.IndexOf("Saving DNS lookup to registry");
    ASSERT_GE(saving, 0) << Dump(run);
    // The store's own words, then the error, then the halt.
    ASSERT_GE(run.lines.size(), static_cast<std::size_t>(saving) + 4);
    EXPECT_THAT(run.lines[saving + 1], ::testing::HasSubstr(store));
    EXPECT_EQ(run.lines[saving + 2], "Failed to set data for '0'");
    EXPECT_EQ(run.lines[saving + 3], "Halted");
    EXPECT_EQ(run.box_text, "ExpressT\r\nFailed to set data for '0'");
    EXPECT_TRUE(run.halted);
    EXPECT_EQ(run.end_state, "Halted");
    EXPECT_EQ(run.result_code, kResultFailure);
    EXPECT_THAT(run.routes, IsEmpty());
    EXPECT_FALSE(run.HasPrefix("GetRoute Start"));
  }
}

TEST_F(DnsCacheFlowTest, ACachedValueThatIsNoStringEndsTheTest) {
  CacheAddresses(StorePath(), "routes.test", {"127.0.0.1"});
  Registry(StorePath()).WriteValue(std::string(kDnsRoot) + "\\routes.test", {"1", Registry::ValueType::Integer, "7"});

  const ProbeRun run = RunHost(1, Failing());
  const int error = run.IndexOf("Invalid data type for '1'");
  ASSERT_GE(error, 0) << Dump(run);
  EXPECT_EQ(run.IndexOf("Halted", error), error + 1);
  EXPECT_EQ(run.box_text, "ExpressT\r\nInvalid data type for '1'");
  EXPECT_EQ(run.result_code, kResultFailure);
  EXPECT_TRUE(run.halted);
  EXPECT_FALSE(run.HasPrefix("GetRoute Start"));
}

}  // namespace
}  // namespace zp::test
