#pragma once
#include <map>
#include <memory>
#include <string>

#include "history/HistoryRecord.h"
#include "platform/SqliteDb.h"
#include "platform/SqliteReadLock.h"
#include "platform/SqliteStatement.h"

namespace zp {

// One open history file: its connection, the layout it was found at, and the statements
// prepared on it, each prepared once and reset for every use: a listing reads thousands
// of runs with the same three statements. Layouts older than the newest are read as they
// are, what they lack as empty.
class HistoryDb {
 public:
  HistoryDb() = default;
  HistoryDb(const HistoryDb&) = delete;
  HistoryDb& operator=(const HistoryDb&) = delete;

  SqliteDb& Sql() { return FSql; }
  // Held for a connection that reads the file as immutable (see SqliteReadLock).
  SqliteReadLock& Lock() { return FLock; }
  int Version() const { return FVersion; }  // 0 for a file without tables yet
  void SetVersion(int version) { FVersion = version; }
  bool Writable() const { return FWritable; }
  void SetWritable() { FWritable = true; }

  // The statement for `sql`, ready to bind; null when it cannot be prepared (Sql()'s
  // Message() says why).
  SqliteStatement* Prepared(const std::string& sql);
  // Ends every statement's run, so that none holds a snapshot of the file once a read or
  // a write is over.
  void ResetAll();

  // "SELECT <the run's columns> FROM runs ", for ReadRun.
  std::string RunSelect() const;
  static HistoryRun ReadRun(SqliteStatement& s);
  // The route's columns, from `first` on, for ReadRoute; `r` names the routes table.
  std::string RouteColumns() const;
  static HistoryRoute ReadRoute(SqliteStatement& s, int first);
  // The run's routes and route servers, read into `run`.
  bool Details(HistoryRun& run);

 private:
  // Declared so that they go in this order: the statements, the connection, the lock.
  SqliteReadLock FLock;
  SqliteDb FSql;
  std::map<std::string, std::unique_ptr<SqliteStatement>> FStatements;
  int FVersion = 0;
  bool FWritable = false;
};

}  // namespace zp
