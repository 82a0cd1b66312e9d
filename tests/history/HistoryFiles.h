#pragma once
// What the history's tests share: a sample run, and SQL run on a file directly, as an
// older program or a curious operator would.
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "history/RunHistory.h"

namespace zp {

// A run with two routes (one failed, with bytes that are no text) and one route server.
inline HistoryRun SampleRun(long long start_ms, const std::string& server = "127.0.0.1") {
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
inline long long Scalar(const std::string& path, const std::string& sql) {
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

inline std::string Text(const std::string& path, const std::string& sql) {
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
inline std::string Plan(const std::string& path, const std::string& sql) {
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

inline void Exec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* err = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
  sqlite3_free(err);
  sqlite3_close(db);
}

inline std::string Bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace zp
