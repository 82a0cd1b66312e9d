// Store faults in the DNS cache end the whole test through the worker's fatal-error
// report. What lookups read and write is in the scripted discovery tests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "client/ProbeHarness.h"
#include "client/discovery/DiscoverySupport.h"

namespace zp::test {
namespace {

using ::testing::IsEmpty;

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
};

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
