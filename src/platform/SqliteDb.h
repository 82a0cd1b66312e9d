#pragma once
#include <chrono>
#include <functional>
#include <string>

struct sqlite3;

namespace zp {

// One SQLite file as the program's stores use it (the registry stand-in, the run
// history). Calls that can fail return false; Message() then has SQLite's own words for
// that failure, taken when it happened (a later call, a rollback included, cannot turn
// them into "not an error"), which the store puts into its own error text.
class SqliteDb {
 public:
  // However soon a wait is to end, another program's lock is waited for this long: a
  // reader or a checkpoint holds the file for moments only, and a run that ends at its
  // deadline must still be recorded when nobody else is writing.
  static constexpr auto kShortestWait = std::chrono::milliseconds(250);

  SqliteDb() = default;
  ~SqliteDb();
  SqliteDb(const SqliteDb&) = delete;
  SqliteDb& operator=(const SqliteDb&) = delete;

  // Opens `path` for reading and writing, making the file when `create` (without it a
  // missing file is a failure and nothing is made). Any thread may use the connection;
  // another program's transaction is waited for up to `busy_ms`, or less when
  // SetGiveUp says so. A failed open leaves the object closed.
  bool Open(const std::string& path, bool create, int busy_ms);
  // Opens `path` for reading only: no file is made or changed, a missing one included.
  // With `immutable`, SQLite reads the file as one that nobody changes while it is open,
  // with no lock of its own and no file beside it: hold a SqliteReadLock meanwhile.
  bool OpenReadOnly(const std::string& path, bool immutable, int busy_ms);
  bool IsOpen() const { return FDb != nullptr; }
  void Close();
  // Waits for another program end early once `give_up` returns true (asked on the
  // waiting thread, after kShortestWait): a run's deadline, a stop. Empty: never early.
  void SetGiveUp(std::function<bool()> give_up) { FGiveUp = std::move(give_up); }

  // Runs `sql`, any number of statements.
  bool Exec(const char* sql);
  // The same, tried again for up to `give_up_ms` (or until SetGiveUp's wish) while another
  // program holds the file: a few steps (switching a new file to the write-ahead log) take
  // the file for themselves, and SQLite does not wait for those by itself.
  bool ExecWaiting(const char* sql, int give_up_ms);
  // Ends a failed transaction; always false, so that a failure path can return it. The
  // failure's message stays.
  bool Rollback();

  // SQLite's words for the last failure on this connection.
  std::string Message() const { return FFailure; }
  // Takes SQLite's words for a failure that has just happened on this connection (a
  // statement's); true when it was another program's lock.
  bool NoteFailure();
  long long LastInsertId() const;
  // Rows the last statement inserted, changed or deleted.
  long long Changes() const;
  sqlite3* Handle() const { return FDb; }

 private:
  bool OpenWith(const std::string& name, int flags, int busy_ms);
  static int OnBusy(void* self, int count);
  // True once a wait that began at `since` should end.
  bool WaitOver(std::chrono::steady_clock::time_point since, std::chrono::milliseconds limit) const;

  sqlite3* FDb = nullptr;
  std::string FFailure;
  std::function<bool()> FGiveUp;
  std::chrono::milliseconds FBusyLimit{0};
  std::chrono::steady_clock::time_point FBusySince;
};

}  // namespace zp
