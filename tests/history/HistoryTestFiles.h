#pragma once
// What the history's tests share: a sample run, direct reads and writes of a history file
// as another program would make them, the layouts older programs wrote, and a fixture
// with a history path of each test's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "history/RunHistory.h"
#include "support/ProcessRunner.h"

namespace zp {
namespace {

using ::testing::ElementsAre;

// A run with two routes (one failed, with bytes that are no text) and one route server.
HistoryRun SampleRun(long long start_ms, const std::string& server = "127.0.0.1") {
  HistoryRun run;
  run.start_utc_ms = start_ms;
  run.settings = {server, 0x6900, "A"};
  run.result_code = 2;
  run.banner = "SOME ROUTES FAILED";
  run.elapsed_seconds = 3.25;
  run.key_outcome = "received";
  run.version = "9.8.7";
  run.routes = {{"r1=127.0.0.1:7000", "r1", 0, false, 0.125, "scored", "all 25 detail records arrived"},
                {"r\xff<b>=10.0.0.2:7000", "r\xff<b>", 25, true, 2.5, "login_refused", "login refused: \x01NO"}};
  run.servers = {{"127.0.0.1", "127.0.0.1", 0x6900, "answered"}};
  return run;
}

// Runs a statement on the file directly, as an older program or a curious operator would.
long long Scalar(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* s = nullptr;
  long long value = -1;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    value = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  sqlite3_close(db);
  return value;
}

std::string Text(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* s = nullptr;
  std::string value;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    value = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
  sqlite3_finalize(s);
  sqlite3_close(db);
  return value;
}

// What SQLite's planner makes of `sql`: each step's words, one per line.
std::string Plan(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_stmt* s = nullptr;
  std::string plan;
  if (sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &s, nullptr) == SQLITE_OK)
    while (sqlite3_step(s) == SQLITE_ROW) plan += reinterpret_cast<const char*>(sqlite3_column_text(s, 3)) + std::string("\n");
  sqlite3_finalize(s);
  sqlite3_close(db);
  return plan;
}

void Exec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(db);
}

// Layout 1 as the first released program wrote it, with one run of two routes (texts that
// may come from the network stored as bytes).
constexpr const char* kLayout1 =
    "CREATE TABLE runs(id INTEGER PRIMARY KEY AUTOINCREMENT, start_utc_ms INTEGER NOT NULL, server TEXT NOT NULL,"
    " port INTEGER NOT NULL, route_code TEXT NOT NULL, result_code INTEGER NOT NULL, banner TEXT NOT NULL,"
    " stopped INTEGER NOT NULL, elapsed_seconds REAL NOT NULL);"
    "CREATE TABLE routes(run_id INTEGER NOT NULL, position INTEGER NOT NULL, entry BLOB NOT NULL, name BLOB NOT NULL,"
    " score INTEGER NOT NULL, failed INTEGER NOT NULL, profile_seconds REAL NOT NULL, outcome TEXT NOT NULL,"
    " PRIMARY KEY(run_id, position));"
    "INSERT INTO runs VALUES(1, 1700000000000, CAST('old' AS BLOB), 26880, CAST('A' AS BLOB), 1, 'SUCCESS', 0, 2.5);"
    "INSERT INTO routes VALUES(1, 0, CAST('r1=1.2.3.4:7000' AS BLOB), CAST('r1' AS BLOB), 3, 0, 0.5, 'scored');"
    "INSERT INTO routes VALUES(1, 1, CAST('r2=1.2.3.5:7000' AS BLOB), CAST('r2' AS BLOB), 25, 1, 1.5, 'no_heartbeat');"
    "PRAGMA user_version=1;";

// Layout 2 as programs before scoreless routes wrote it: a stopped run whose second route
// the stop cut short and whose third it never reached, both stored with the 25 of a
// failure, after a run that scored all three.
constexpr const char* kLayout2 =
    "ALTER TABLE runs ADD COLUMN key_outcome TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN version TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE routes ADD COLUMN reason BLOB NOT NULL DEFAULT '';"
    "CREATE TABLE servers(run_id INTEGER NOT NULL, position INTEGER NOT NULL, server BLOB NOT NULL,"
    " address TEXT NOT NULL, port INTEGER NOT NULL, outcome TEXT NOT NULL, PRIMARY KEY(run_id, position));"
    "CREATE INDEX runs_by_settings ON runs(server, port, route_code, id);"
    "INSERT INTO runs VALUES(2, 1700000060000, CAST('old' AS BLOB), 26880, CAST('A' AS BLOB), 2, 'STOPPED', 1, 4.0,"
    " 'not_reached', '1.0');"
    "INSERT INTO routes VALUES(2, 0, CAST('r1=1.2.3.4:7000' AS BLOB), CAST('r1' AS BLOB), 1, 0, 0.5, 'scored', '1 of 25 detail records missing');"
    "INSERT INTO routes VALUES(2, 1, CAST('r2=1.2.3.5:7000' AS BLOB), CAST('r2' AS BLOB), 25, 0, 1.0, 'stopped',"
    " 'stopped while waiting for the login reply');"
    "INSERT INTO routes VALUES(2, 2, CAST('r3=1.2.3.6:7000' AS BLOB), CAST('r3' AS BLOB), 25, 0, 0, 'not_tried', 'not tried \xE2\x80\x94 test stopped');"
    "INSERT INTO servers VALUES(2, 0, '127.0.0.1', '127.0.0.1', 26880, 'answered');"
    "PRAGMA user_version=2;";

class RunHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-hist-" + std::to_string(test::CurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    path_ = (dir_ / "state" / "history.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Every run present has as many routes and route servers as its route code says: the
  // writer helper's runs are whole or absent.
  void ExpectWholeRuns(long long at_least) {
    EXPECT_EQ(Text(path_, "PRAGMA integrity_check"), "ok");
    RunHistory history(path_, 100000);
    const auto runs = history.Recent(100000);
    ASSERT_TRUE(runs) << history.LastError();
    EXPECT_GE(static_cast<long long>(runs->size()), at_least);
    for (const HistoryRun& run : *runs) {
      ASSERT_EQ(run.routes.size(), std::stoul(run.settings.route_code)) << "run " << run.id;
      ASSERT_EQ(run.servers.size(), std::stoul(run.settings.route_code)) << "run " << run.id;
    }
  }

  std::filesystem::path dir_;
  std::string path_;
};

std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace
}  // namespace zp
