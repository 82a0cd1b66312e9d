#include "platform/SqliteDb.h"

#include <sqlite3.h>

#include <chrono>
#include <thread>

namespace zp {

SqliteDb::~SqliteDb() { Close(); }

void SqliteDb::Close() {
  sqlite3_close(FDb);
  FDb = nullptr;
}

bool SqliteDb::Open(const std::string& path, bool create, int busy_ms) {
  Close();
  const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &FDb, flags, nullptr) != SQLITE_OK) {
    FOpenFailure = FDb != nullptr ? sqlite3_errmsg(FDb) : "out of memory";
    Close();
    return false;
  }
  sqlite3_busy_timeout(FDb, busy_ms);
  return true;
}

bool SqliteDb::Exec(const char* sql) { return sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

bool SqliteDb::ExecWaiting(const char* sql, int give_up_ms) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(give_up_ms);
  while (!Exec(sql)) {
    const int code = sqlite3_errcode(FDb) & 0xFF;
    if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool SqliteDb::Rollback() {
  sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

std::string SqliteDb::Message() const { return FDb != nullptr ? sqlite3_errmsg(FDb) : FOpenFailure; }

long long SqliteDb::LastInsertId() const { return sqlite3_last_insert_rowid(FDb); }

}  // namespace zp
