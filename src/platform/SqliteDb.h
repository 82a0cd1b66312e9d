#pragma once
#include <string>

struct sqlite3;

namespace zp {

// One SQLite file as the program's stores use it (the registry stand-in, the run
// history). Calls that can fail return false; Message() then has SQLite's own words for
// the failure, which the store puts into its own error text.
class SqliteDb {
 public:
  SqliteDb() = default;
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // Opens `path` for reading and writing, making the file when `create`. Any thread may
  // use the connection; another program's transaction is waited for up to `busy_ms`. A
  // failed open leaves the object closed.
  bool Open(const std::string& path, bool create, int busy_ms);
  bool IsOpen() const { return FDb != nullptr; }
  void Close();

  // Runs `sql`, any number of statements.
  bool Exec(const char* sql);
  // The same, tried again for up to `give_up_ms` while another program holds the file:
  // a few steps (switching a new file to the write-ahead log) take the file for
  // themselves, and SQLite does not wait for those by itself.
  bool ExecWaiting(const char* sql, int give_up_ms);
  // Ends a failed transaction; always false, so that a failure path can return it.
  bool Rollback();

  // SQLite's words for the last failure on this connection.
  std::string Message() const;
  long long LastInsertId() const;
  sqlite3* Handle() const { return FDb; }

 private:
  sqlite3* FDb = nullptr;
  std::string FOpenFailure;  // why the last open failed, once the handle is gone
};

}  // namespace zp
