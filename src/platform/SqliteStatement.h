#pragma once
#include <string>

struct sqlite3_stmt;

namespace zp {

class SqliteDb;

// A prepared statement that finalizes itself. Bind and read by 1-based parameter and
// 0-based column, as SQLite counts them. A statement that cannot be prepared or a step
// that fails leaves SQLite's words for it in the database's Message().
class SqliteStatement {
 public:
  enum class Step { Row, Done, Failed };

  SqliteStatement(SqliteDb& db, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  // False when the statement could not be prepared: the database's Message() says why.
  bool Ok() const { return FStatement != nullptr; }

  SqliteStatement& Bind(int index, long long value);
  SqliteStatement& Bind(int index, double value);
  // Text that the schema compares by its own rules (a collation).
  SqliteStatement& BindText(int index, const std::string& value);
  // Bytes kept exactly: text from the network need not be UTF-8.
  SqliteStatement& BindBytes(int index, const std::string& value);
  SqliteStatement& BindNull(int index);

  // Makes the statement ready to run again from its first row, its parameters unbound.
  void Reset();
  Step Next();
  long long Int(int column);
  double Real(int column);
  bool IsNull(int column);
  // The column's bytes, whether stored as text or as bytes.
  std::string Bytes(int column);

 private:
  SqliteDb& FDb;
  sqlite3_stmt* FStatement = nullptr;
};

}  // namespace zp
