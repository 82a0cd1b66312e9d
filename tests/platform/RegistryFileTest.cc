#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/Registry.h"
#include "platform/RegistryFixture.h"
#include "platform/SqliteDb.h"
#include "platform/SqliteStatement.h"

// A store that is a file: what becomes of files that are not stores, and of places where
// no file can be.
namespace zp {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

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

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

long long Pragma(const std::string& path, const char* pragma) {
  SqliteDb db;
  if (!db.Open(path, false, 0)) return -1;
  SqliteStatement s(db, pragma);
  return s.Ok() && s.Next() == SqliteStatement::Step::Row ? s.Int(0) : -1;
}

// The tables a store of an older version made, before the file carried its mark.
constexpr const char* kOlderStore =
    "CREATE TABLE reg_keys(id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE(parent, name));"
    "CREATE TABLE reg_values(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB, UNIQUE(key, name));"
    "INSERT INTO reg_keys VALUES(1, 0, 'K');"
    "INSERT INTO reg_values VALUES(1, 1, '0', 1, '10.0.0.7');";

// SQLite files given as the store: only its own are used; any other program's, the run
// history included, is refused and left byte for byte as it was, by reads and writes.
TEST_F(RegistryTest, OnlyItsOwnSqliteFilesAreUsedAndOthersLeftAsTheyAre) {
  const struct {
    const char* name;
    const char* sql;      // makes the file
    const char* refusal;  // empty: the store takes it
  } cases[] = {
      {"the run history",
       "PRAGMA application_id=1515213384; PRAGMA user_version=2; CREATE TABLE runs(id); CREATE TABLE routes(run_id)",
       "it is marked as another program's file (application id 5A505248)"},
      {"another program's tables", "CREATE TABLE accounts(id, owner)", "it holds table accounts"},
      {"the store's tables and more", "CREATE TABLE reg_keys(id); CREATE TABLE reg_values(id); CREATE VIEW v AS SELECT 1",
       "it holds table reg_keys, table reg_values, view v"},
      {"another program's layout number", "PRAGMA user_version=7", "it carries another program's layout number 7"},
      {"an older store", kOlderStore, ""},
      {"an empty database", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
    {
      SqliteDb db;
      ASSERT_TRUE(db.Open(path_, true, 0));
      ASSERT_TRUE(db.Exec(c.sql));
    }
    const std::string before = Bytes(path_);
    Registry r(path_);
    if (*c.refusal != '\0') {
      EXPECT_FALSE(r.ReadValues("K").has_value());
      EXPECT_FALSE(r.ReplaceValues("K", Strings({"1.2.3.4"})));
      EXPECT_THAT(r.LastError(), HasSubstr(path_ + " is not a DNS cache of this program, so it is left as it is: " +
                                           c.refusal));
      EXPECT_FALSE(r.Absent());
      EXPECT_EQ(Bytes(path_), before);
      continue;
    }
    // Read as it is, then marked by the first write with what it held kept.
    const auto old = r.ReadValues("K");
    EXPECT_EQ(old.has_value(), std::string(c.sql).empty() ? false : true);
    EXPECT_EQ(Bytes(path_), before) << "a read changes nothing";
    ASSERT_TRUE(r.WriteValue("L", {"0", Registry::ValueType::String, "10.0.0.8"})) << r.LastError();
    Registry again(path_);
    if (old) {
      EXPECT_THAT(Data(*again.ReadValues("K")), ElementsAre("0=10.0.0.7"));
    }
    EXPECT_THAT(Data(*again.ReadValues("L")), ElementsAre("0=10.0.0.8"));
    EXPECT_EQ(Pragma(path_, "PRAGMA application_id"), 0x5A504443);
  }
}

// A zero-byte file is an empty store: nothing is read from it, and a read makes nothing.
TEST_F(RegistryTest, ReadingAnEmptyFileLeavesItEmpty) {
  std::filesystem::create_directories(std::filesystem::path(path_).parent_path());
  std::ofstream(path_).close();
  Registry r(path_);
  EXPECT_FALSE(r.OpenKey("Software", false));
  EXPECT_TRUE(r.Absent());
  EXPECT_EQ(std::filesystem::file_size(path_), 0u);
}

TEST_F(RegistryTest, UnwritableLocationFailsWithAReason) {
  Registry r("/proc/zelvan-probe-cannot-be-here/registry.db");
  EXPECT_FALSE(r.ReplaceValues("K", Strings({"1.2.3.4"})));
  EXPECT_FALSE(r.LastError().empty());
}

}  // namespace
}  // namespace zp
