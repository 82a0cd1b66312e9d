#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "client/DnsCache.h"
#include "platform/Registry.h"

// The DNS cache in the system's registry: written to the user's hive, read from the
// machine's hive where the user's has no entry for a host.
namespace zp {
namespace {

using ::testing::ElementsAre;

class RegistryHivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    location_ = "Software\\Zelvan Probe Tests\\" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
    DeleteBoth();
  }
  void TearDown() override { DeleteBoth(); }

  void DeleteBoth() {
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) RegDeleteTreeA(hive, location_.c_str());
  }
  // What an administrator (or an installer) put in the machine's hive.
  void MachineEntry(const std::string& host, const std::vector<std::string>& addresses) {
    const std::string key = location_ + "\\" + DnsCache::kRootKey + "\\" + host;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
      ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), std::to_string(i).c_str(), REG_SZ,
                                addresses[i].c_str(), static_cast<DWORD>(addresses[i].size() + 1)),
                ERROR_SUCCESS);
    }
  }
  bool UserHas(const std::string& host) {
    HKEY k = nullptr;
    const std::string key = location_ + "\\" + DnsCache::kRootKey + "\\" + host;
    const bool found = RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) == ERROR_SUCCESS;
    if (k != nullptr) RegCloseKey(k);
    return found;
  }
  std::vector<std::string> Load(const std::string& host, DnsCache::LoadResult expected) {
    std::vector<std::string> addresses;
    EXPECT_EQ(DnsCache(location_).Load(host, addresses), expected) << host;
    return addresses;
  }

  std::string location_;
};

TEST_F(RegistryHivesTest, WritesGoToTheUserAndReadsFallBackToTheMachinePerHost) {
  Load("route.example", DnsCache::LoadResult::NoRoot);
  MachineEntry("route.example", {"127.0.0.5", "127.0.0.6"});
  EXPECT_THAT(Load("route.example", DnsCache::LoadResult::Found), ElementsAre("127.0.0.5", "127.0.0.6"))
      << "the machine's entry serves a user who has none";

  std::string reason;
  DnsCache(location_).Save("other.example", {"127.0.0.7"}, reason);
  EXPECT_TRUE(UserHas("other.example")) << "a lookup is kept in the user's hive";
  EXPECT_THAT(Load("other.example", DnsCache::LoadResult::Found), ElementsAre("127.0.0.7"));
  EXPECT_THAT(Load("route.example", DnsCache::LoadResult::Found), ElementsAre("127.0.0.5", "127.0.0.6"))
      << "the user's key for another host does not hide the machine's entry for this one";

  DnsCache(location_).Save("route.example", {"127.0.0.9"}, reason);
  EXPECT_THAT(Load("route.example", DnsCache::LoadResult::Found), ElementsAre("127.0.0.9"))
      << "the user's own entry comes first";
  EXPECT_EQ(Load("unknown.example", DnsCache::LoadResult::NoHost).size(), 0u);
}

TEST_F(RegistryHivesTest, ReplacementsAreWholeAndKeepTheirOrder) {
  Registry r(location_);
  const auto list = [](std::initializer_list<const char*> data) {
    std::vector<Registry::Value> v;
    for (const char* d : data) v.push_back({std::to_string(v.size()), Registry::ValueType::String, d});
    return v;
  };
  ASSERT_TRUE(r.ReplaceValues("K\\host", list({"10.0.0.2", "10.0.0.1", "10.0.0.3"}))) << r.LastError();
  ASSERT_TRUE(r.ReplaceValues("K\\host", list({"127.0.0.9", "127.0.0.8"}))) << r.LastError();
  const auto values = r.ReadValues("K\\host");
  ASSERT_TRUE(values.has_value());
  std::vector<std::string> data;
  for (const auto& v : *values) data.push_back(v.name + "=" + v.data);
  EXPECT_THAT(data, ElementsAre("0=127.0.0.9", "1=127.0.0.8"));
  // Nothing of the scratch keys a replacement writes through is left behind.
  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, (location_ + "\\K").c_str(), 0, KEY_READ, &parent), ERROR_SUCCESS);
  DWORD subkeys = 0;
  RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr, nullptr);
  RegCloseKey(parent);
  EXPECT_EQ(subkeys, 1u);
}

}  // namespace
}  // namespace zp
