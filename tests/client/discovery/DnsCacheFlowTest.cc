// A DNS cache that cannot be written or read never fails a test: the worker warns in the
// trace and goes on, with the addresses DNS gave or without cached ones. What lookups
// read and write is in the scripted discovery tests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <functional>

#include "client/ProbeHarness.h"
#include "client/discovery/DiscoverySupport.h"

namespace zp::test {
namespace {

HostResolver Answer(std::vector<std::string> addresses) {
  return [addresses](const std::string&, std::vector<std::string>& out) {
    out = addresses;
    return true;
  };
}

HostResolver Failing() {
  return [](const std::string&, std::vector<std::string>&) { return false; };
}

// Another program's write transaction on the store, held while it lives.
class StoreLock {
 public:
  explicit StoreLock(const std::string& path) {
    CacheAddresses(path, "other.test", {"127.0.0.9"});  // the store exists
    sqlite3_open(path.c_str(), &db_);
    sqlite3_exec(db_, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
  }
  ~StoreLock() {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db_);
  }

 private:
  sqlite3* db_ = nullptr;
};

struct StoreFault {
  const char* name;
  // Prepares the store at `path` (inside the test's folder `dir`); may return a lock to hold.
  std::function<std::unique_ptr<StoreLock>(const std::filesystem::path& dir, std::string& path)> prepare;
  bool dns_answers;
  std::vector<std::string> warnings;  // in order, from the first
  bool asks_the_route_server;
};

std::ostream& operator<<(std::ostream& os, const StoreFault& f) { return os << f.name; }

class DnsCacheFlowTest : public ProbeHarness, public ::testing::WithParamInterface<StoreFault> {};

TEST_P(DnsCacheFlowTest, TheTestGoesOnWithAWarning) {
  const StoreFault& fault = GetParam();
  std::string store = StorePath();
  const auto lock = fault.prepare(dir_, store);
  ProbeSettings settings;
  settings.server = "routes.test";
  settings.port = 1;  // nothing listens: the request itself fails, which is not the point
  settings.resolver = fault.dns_answers ? Answer({"127.0.0.1"}) : Failing();
  settings.store_path = store;
  settings.stop_when = [](const ProbeRun& r) { return r.Has("No Routes"); };
  const ProbeRun run = Run(settings);

  int at = 0;
  for (const std::string& warning : fault.warnings) {
    const int i = run.IndexOf(warning, at);
    ASSERT_GE(i, at) << "missing in order: " << warning << "\n" << Dump(run);
    at = i + 1;
  }
  EXPECT_EQ(run.HasPrefix("GetRoute Start \"127.0.0.1:"), fault.asks_the_route_server) << Dump(run);
  EXPECT_TRUE(run.Has("No Routes"));
  EXPECT_EQ(run.box_text, "");
  EXPECT_FALSE(run.Has("Halted"));
}

const char* kNotWritten = "Warning: DNS cache not written - going on with the addresses DNS gave";

INSTANTIATE_TEST_SUITE_P(
    Faults, DnsCacheFlowTest,
    ::testing::Values(
        StoreFault{"folder_that_cannot_be_made",
                   [](const std::filesystem::path& dir, std::string& path) {
                     std::ofstream(dir / "blocker") << "a file where the folder should be";
                     path = (dir / "blocker" / "registry.db").string();
                     return std::unique_ptr<StoreLock>();
                   },
                   true, {"Saving DNS lookup to registry", "Failed to set data for '0'", kNotWritten}, true},
        StoreFault{"file_that_is_no_store",
                   [](const std::filesystem::path& dir, std::string& path) {
                     path = (dir / "garbage.db").string();
                     std::ofstream(path) << std::string(4096, 'x');
                     return std::unique_ptr<StoreLock>();
                   },
                   true, {"Failed to set data for '0'", kNotWritten}, true},
        StoreFault{"store_locked_by_another_program",
                   [](const std::filesystem::path&, std::string& path) { return std::make_unique<StoreLock>(path); },
                   true, {"Failed to set data for '0'", kNotWritten}, true},
        StoreFault{"cached_value_that_is_no_string",
                   [](const std::filesystem::path&, std::string& path) {
                     CacheAddresses(path, "routes.test", {"127.0.0.1"});
                     Registry(path).WriteValue(std::string(kDnsRoot) + "\\routes.test",
                                               {"1", Registry::ValueType::Integer, "7"});
                     return std::unique_ptr<StoreLock>();
                   },
                   false,
                   {"Invalid data type for '1'", "Warning: cached DNS entries for routes.test unreadable - ignored"},
                   false}),
    [](const ::testing::TestParamInfo<StoreFault>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace zp::test
