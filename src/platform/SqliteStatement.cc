#include "platform/SqliteStatement.h"

#include <sqlite3.h>

#include "platform/SqliteDb.h"

namespace zp {

SqliteStatement::SqliteStatement(SqliteDb& db, const char* sql) : FDb(db) {
  if (sqlite3_prepare_v2(db.Handle(), sql, -1, &FStatement, nullptr) != SQLITE_OK) {
    FDb.NoteFailure();
    sqlite3_finalize(FStatement);
    FStatement = nullptr;
  }
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(FStatement); }

SqliteStatement& SqliteStatement::Bind(int index, long long value) {
  sqlite3_bind_int64(FStatement, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::Bind(int index, double value) {
  sqlite3_bind_double(FStatement, index, value);
  return *this;
}

SqliteStatement& SqliteStatement::BindText(int index, const std::string& value) {
  sqlite3_bind_text(FStatement, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::BindBytes(int index, const std::string& value) {
  sqlite3_bind_blob(FStatement, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}

SqliteStatement& SqliteStatement::BindNull(int index) {
  sqlite3_bind_null(FStatement, index);
  return *this;
}

void SqliteStatement::Reset() {
  // A failure of the last step comes back from the reset too; it was noted then.
  sqlite3_reset(FStatement);
  sqlite3_clear_bindings(FStatement);
}

SqliteStatement::Step SqliteStatement::Next() {
  switch (sqlite3_step(FStatement)) {
    case SQLITE_ROW: return Step::Row;
    case SQLITE_DONE: return Step::Done;
    default:
      // A statement that was never prepared has its reason noted already.
      if (FStatement != nullptr) FDb.NoteFailure();
      return Step::Failed;
  }
}

long long SqliteStatement::Int(int column) { return sqlite3_column_int64(FStatement, column); }

double SqliteStatement::Real(int column) { return sqlite3_column_double(FStatement, column); }

bool SqliteStatement::IsNull(int column) { return sqlite3_column_type(FStatement, column) == SQLITE_NULL; }

std::string SqliteStatement::Bytes(int column) {
  const auto* data = static_cast<const char*>(sqlite3_column_blob(FStatement, column));
  return std::string(data != nullptr ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(FStatement, column)));
}

}  // namespace zp
