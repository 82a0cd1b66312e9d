#include "platform/SqliteDb.h"

#include <sqlite3.h>

#include <algorithm>
#include <thread>

#include "platform/SqliteReadLock.h"

namespace zp {

SqliteDb::~SqliteDb() { Close(); }

void SqliteDb::Close() {
  sqlite3_close(FDb);
  FDb = nullptr;
}

bool SqliteDb::Open(const std::string& path, bool create, int busy_ms) {
  return OpenWith(path, SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0), busy_ms);
}

bool SqliteDb::OpenReadOnly(const std::string& path, bool immutable, int busy_ms) {
  return OpenWith(SqliteFileUri(path, immutable ? "mode=ro&immutable=1" : "mode=ro"),
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, busy_ms);
}

bool SqliteDb::OpenWith(const std::string& name, int flags, int busy_ms) {
  Close();
  if (sqlite3_open_v2(name.c_str(), &FDb, flags | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK) {
    FFailure = FDb != nullptr ? sqlite3_errmsg(FDb) : "out of memory";
    Close();
    return false;
  }
  FBusyLimit = std::chrono::milliseconds(busy_ms);
  sqlite3_busy_handler(FDb, &SqliteDb::OnBusy, this);
  return true;
}

bool SqliteDb::WaitOver(std::chrono::steady_clock::time_point since, std::chrono::milliseconds limit) const {
  const auto waited = std::chrono::steady_clock::now() - since;
  return waited >= limit || (waited >= kShortestWait && FGiveUp && FGiveUp());
}

// SQLite's own busy time-out cannot be ended early: this one sleeps in short steps and
// asks SetGiveUp's question between them.
int SqliteDb::OnBusy(void* self, int count) {
  auto* db = static_cast<SqliteDb*>(self);
  if (count == 0) db->FBusySince = std::chrono::steady_clock::now();
  if (db->WaitOver(db->FBusySince, db->FBusyLimit)) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(std::min(1 + count, 10)));
  return 1;
}

bool SqliteDb::NoteFailure() {
  FFailure = FDb != nullptr ? sqlite3_errmsg(FDb) : "not open";
  const int code = FDb != nullptr ? sqlite3_errcode(FDb) & 0xFF : SQLITE_MISUSE;
  return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

bool SqliteDb::Exec(const char* sql) {
  if (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
  NoteFailure();
  return false;
}

bool SqliteDb::ExecWaiting(const char* sql, int give_up_ms) {
  const auto since = std::chrono::steady_clock::now();
  while (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK) {
    if (!NoteFailure() || WaitOver(since, std::chrono::milliseconds(give_up_ms))) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool SqliteDb::Rollback() {
  sqlite3_exec(FDb, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

long long SqliteDb::LastInsertId() const { return sqlite3_last_insert_rowid(FDb); }

long long SqliteDb::Changes() const { return sqlite3_changes(FDb); }

}  // namespace zp
