#include "platform/Registry.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zp {
namespace {

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool MakeDirs(const std::string& dir) {
  std::string sofar;
  for (std::size_t i = 0; i <= dir.size(); ++i) {
    if (i == dir.size() || dir[i] == '/') {
      if (!sofar.empty() && mkdir(sofar.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    if (i < dir.size()) sofar += dir[i];
  }
  return true;
}

// A prepared statement that finalizes itself.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) == SQLITE_OK; }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return ok_; }
  sqlite3_stmt* get() { return s_; }
  void Bind(int i, long long v) { sqlite3_bind_int64(s_, i, v); }
  void Bind(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void BindBlob(int i, const std::string& v) {
    sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  int Step() { return sqlite3_step(s_); }

 private:
  sqlite3_stmt* s_ = nullptr;
  bool ok_ = false;
};

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB, UNIQUE(key, name));";

}  // namespace

std::string Registry::DefaultPath() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::string(home) + "/.local/state";
  } else {
    base = "/tmp";
  }
  return base + "/zelvan-probe/registry.db";
}

Registry::Registry(std::string path) : path_(std::move(path)) {}

Registry::~Registry() {
  if (db_ != nullptr) sqlite3_close(db_);
}

bool Registry::Fail(const std::string& what) {
  last_error_ = what;
  if (db_ != nullptr) {
    last_error_ += ": ";
    last_error_ += sqlite3_errmsg(db_);
  }
  return false;
}

bool Registry::Exec(const char* sql) {
  char* err = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) == SQLITE_OK) return true;
  last_error_ = std::string(sql) + ": " + (err ? err : "?");
  sqlite3_free(err);
  return false;
}

bool Registry::Open(bool create_file) {
  if (db_ != nullptr) return true;
  if (!create_file && access(path_.c_str(), F_OK) != 0) {
    last_error_ = "no store at " + path_;
    return false;
  }
  if (create_file) {
    const auto slash = path_.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(path_.substr(0, slash))) {
      last_error_ = "cannot create the folder of " + path_;
      return false;
    }
  }
  const int flags = SQLITE_OPEN_READWRITE | (create_file ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    Fail("cannot open " + path_);
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  // A second probe may be writing the same store: wait for it rather than fail.
  sqlite3_busy_timeout(db_, 5000);
  if (!Exec(kSchema)) {
    // The schema text would only bury the reason; name the store instead.
    Fail("cannot open " + path_);
    sqlite3_close(db_);
    db_ = nullptr;
    return false;
  }
  return true;
}

std::optional<long long> Registry::FindKey(const std::string& path) {
  long long id = 0;
  for (const std::string& part : SplitPath(path)) {
    Stmt s(db_, "SELECT id FROM reg_keys WHERE parent=?1 AND name=?2");
    if (!s.ok()) {
      Fail("lookup of " + path);
      return std::nullopt;
    }
    s.Bind(1, id);
    s.Bind(2, part);
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    id = sqlite3_column_int64(s.get(), 0);
  }
  return id;
}

std::optional<long long> Registry::CreateKey(const std::string& path) {
  long long id = 0;
  for (const std::string& part : SplitPath(path)) {
    Stmt ins(db_, "INSERT OR IGNORE INTO reg_keys(parent, name) VALUES(?1, ?2)");
    Stmt sel(db_, "SELECT id FROM reg_keys WHERE parent=?1 AND name=?2");
    if (!ins.ok() || !sel.ok()) {
      Fail("create of " + path);
      return std::nullopt;
    }
    ins.Bind(1, id);
    ins.Bind(2, part);
    if (ins.Step() != SQLITE_DONE) {
      Fail("create of " + path);
      return std::nullopt;
    }
    sel.Bind(1, id);
    sel.Bind(2, part);
    if (sel.Step() != SQLITE_ROW) {
      Fail("create of " + path);
      return std::nullopt;
    }
    id = sqlite3_column_int64(sel.get(), 0);
  }
  return id;
}

bool Registry::DeleteTree(long long id) {
  std::vector<long long> children;
  {
    Stmt s(db_, "SELECT id FROM reg_keys WHERE parent=?1");
    if (!s.ok()) return Fail("delete");
    s.Bind(1, id);
    while (s.Step() == SQLITE_ROW) children.push_back(sqlite3_column_int64(s.get(), 0));
  }
  for (const long long child : children)
    if (!DeleteTree(child)) return false;
  Stmt v(db_, "DELETE FROM reg_values WHERE key=?1");
  Stmt k(db_, "DELETE FROM reg_keys WHERE id=?1");
  if (!v.ok() || !k.ok()) return Fail("delete");
  v.Bind(1, id);
  k.Bind(1, id);
  if (v.Step() != SQLITE_DONE || k.Step() != SQLITE_DONE) return Fail("delete");
  return true;
}

bool Registry::OpenKey(const std::string& path, bool create) {
  if (!Open(create)) return false;
  if (!create) return FindKey(path).has_value();
  if (!Exec("BEGIN IMMEDIATE")) return false;
  if (!CreateKey(path)) {
    Exec("ROLLBACK");
    return false;
  }
  return Exec("COMMIT");
}

bool Registry::KeyExists(const std::string& path) { return Open(false) && FindKey(path).has_value(); }

bool Registry::DeleteKey(const std::string& path) {
  if (!Open(false)) return true;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  const auto id = FindKey(path);
  if (id && *id != 0 && !DeleteTree(*id)) {
    Exec("ROLLBACK");
    return false;
  }
  return Exec("COMMIT");
}

std::optional<std::vector<Registry::Value>> Registry::ReadValues(const std::string& path) {
  if (!Open(false)) return std::nullopt;
  // One read transaction, so the key and its values come from the same replacement.
  if (!Exec("BEGIN")) return std::nullopt;
  auto result = ReadValuesLocked(path);
  Exec("COMMIT");
  return result;
}

std::optional<std::vector<Registry::Value>> Registry::ReadValuesLocked(const std::string& path) {
  const auto id = FindKey(path);
  if (!id) return std::nullopt;
  Stmt s(db_, "SELECT name, type, data FROM reg_values WHERE key=?1 ORDER BY id");
  if (!s.ok()) {
    Fail("read of " + path);
    return std::nullopt;
  }
  s.Bind(1, *id);
  std::vector<Value> values;
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) {
    Value v;
    v.name = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
    const int type = sqlite3_column_int(s.get(), 1);
    v.type = type == 1 ? ValueType::String : type == 2 ? ValueType::Integer : ValueType::Binary;
    const auto* data = static_cast<const char*>(sqlite3_column_blob(s.get(), 2));
    v.data.assign(data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(s.get(), 2)));
    values.push_back(std::move(v));
  }
  if (rc != SQLITE_DONE) {
    Fail("read of " + path);
    return std::nullopt;
  }
  return values;
}

bool Registry::ReplaceValues(const std::string& path, const std::vector<Value>& values) {
  if (!Open(true)) return false;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  auto rollback = [this] {
    const std::string reason = last_error_;
    Exec("ROLLBACK");
    last_error_ = reason;
    return false;
  };
  if (const auto old = FindKey(path); old && *old != 0 && !DeleteTree(*old)) return rollback();
  const auto id = CreateKey(path);
  if (!id) return rollback();
  for (const Value& v : values) {
    Stmt s(db_, "INSERT OR REPLACE INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4)");
    if (!s.ok()) return Fail("write of " + path), rollback();
    s.Bind(1, *id);
    s.Bind(2, v.name);
    s.Bind(3, static_cast<long long>(v.type));
    s.BindBlob(4, v.data);
    if (s.Step() != SQLITE_DONE) return Fail("write of " + v.name), rollback();
  }
  return Exec("COMMIT") || rollback();
}

bool Registry::WriteValue(const std::string& path, const Value& value) {
  if (!Open(true)) return false;
  if (!Exec("BEGIN IMMEDIATE")) return false;
  const auto id = CreateKey(path);
  if (!id) {
    Exec("ROLLBACK");
    return false;
  }
  Stmt s(db_, "INSERT OR REPLACE INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4)");
  if (!s.ok()) {
    Fail("write of " + value.name);
    Exec("ROLLBACK");
    return false;
  }
  s.Bind(1, *id);
  s.Bind(2, value.name);
  s.Bind(3, static_cast<long long>(value.type));
  s.BindBlob(4, value.data);
  if (s.Step() != SQLITE_DONE) {
    Fail("write of " + value.name);
    Exec("ROLLBACK");
    return false;
  }
  return Exec("COMMIT");
}

}  // namespace zp
