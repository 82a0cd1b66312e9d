#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/Registry.h"
#include "platform/RegistryFixture.h"

// A store that is a file: what becomes of files that are not stores, and of places where
// no file can be.
namespace zp {
namespace {

TEST_F(RegistryTest, CorruptFileIsReportedAndLeftAsItWas) {
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
  { std::ofstream(path_) << "this is not a database, and it is someone's file"; }
  const auto size = std::filesystem::file_size(path_);
  Registry r(path_);
  EXPECT_FALSE(r.ReplaceValues("K", Strings({"1.2.3.4"})));
  EXPECT_FALSE(r.LastError().empty());
  EXPECT_FALSE(r.ReadValues("K").has_value());
  EXPECT_EQ(std::filesystem::file_size(path_), size) << "nothing of the file is lost";
}

TEST_F(RegistryTest, UnwritableLocationFailsWithAReason) {
  Registry r("/proc/zelvan-probe-cannot-be-here/registry.db");
  EXPECT_FALSE(r.ReplaceValues("K", Strings({"1.2.3.4"})));
  EXPECT_FALSE(r.LastError().empty());
}

}  // namespace
}  // namespace zp
