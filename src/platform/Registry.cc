#include "platform/Registry.h"

#include <unistd.h>

#include <cstdio>

#include "platform/PrivateFolder.h"
#include "platform/SqliteDb.h"
#include "platform/SqliteStatement.h"
#include "platform/StateFolder.h"

namespace zp {
namespace {

using Step = SqliteStatement::Step;

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

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS reg_keys("
    " id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS reg_values("
    " id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name TEXT NOT NULL COLLATE NOCASE,"
    " type INTEGER NOT NULL, data BLOB, UNIQUE(key, name));";

// "ZPDC" in the file's header: this program's DNS cache, told apart from its run history
// and from any other program's SQLite file, which is never changed.
constexpr long long kStoreApplicationId = 0x5A504443;
constexpr const char* kMarkStore = "PRAGMA application_id=1515209795";
static_assert(kStoreApplicationId == 1515209795);

constexpr const char* kWriteValue = "INSERT OR REPLACE INTO reg_values(key, name, type, data) VALUES(?1, ?2, ?3, ?4)";

// A second probe may be writing the same store: wait for it rather than fail.
constexpr int kBusyWaitMs = 5000;

}  // namespace

// The open file and the steps on it; failures go to the registry's error text.
struct Registry::Store {
  Store(std::string& error, bool& absent) : FError(error), FAbsent(absent) {}

  bool Fail(const std::string& what) {
    FError = what;
    if (FDb.IsOpen()) FError += ": " + FDb.Message();
    return false;
  }
  bool Exec(const char* sql) {
    if (FDb.Exec(sql)) return true;
    FError = std::string(sql) + ": " + FDb.Message();
    return false;
  }
  // Ends a failed transaction, keeping the reason it failed.
  bool Rollback() {
    const std::string reason = FError;
    Exec("ROLLBACK");
    FError = reason;
    return false;
  }
  // What the file is to this store: its own (marked), its own from before the mark (the
  // store's two tables only, no mark), a file without anything in it yet, or none of
  // these (the reason in FError).
  enum class Kind { Marked, Unmarked, Blank, Foreign };
  Kind Inspect(const std::string& path);
  // Marks a file of the kinds this store may take over, making its tables, in one write
  // transaction that looks again at what it marks.
  bool TakeOver(const std::string& path);
  bool Open(const std::string& path, bool create_file);
  std::optional<long long> FindKey(const std::string& path);
  std::optional<long long> CreateKey(const std::string& path);
  bool DeleteTree(long long id);
  std::optional<std::vector<Value>> ReadValues(const std::string& path);
  bool WriteValue(long long key, const Value& value);

  SqliteDb FDb;
  std::string& FError;
  Kind FKind = Kind::Blank;
  bool& FAbsent;  // the last open found no store to read, which is no fault
};

Registry::Store::Kind Registry::Store::Inspect(const std::string& path) {
  long long id = 0, version = 0;
  std::vector<std::string> held;
  {
    SqliteStatement a(FDb, "PRAGMA application_id");
    SqliteStatement v(FDb, "PRAGMA user_version");
    // Tables, views, triggers and indexes of its own, SQLite's own aside.
    SqliteStatement m(FDb, "SELECT type || ' ' || name FROM sqlite_master WHERE name NOT LIKE 'sqlite^_%' ESCAPE '^'"
                           " ORDER BY name");
    Step step = Step::Failed;
    if (a.Ok() && v.Ok() && m.Ok() && a.Next() == Step::Row && v.Next() == Step::Row) {
      id = a.Int(0);
      version = v.Int(0);
      while ((step = m.Next()) == Step::Row) held.push_back(m.Bytes(0));
    }
    if (step != Step::Done) {
      Fail("cannot read " + path);
      return Kind::Foreign;
    }
  }
  if (id == kStoreApplicationId) return Kind::Marked;
  bool own_tables = !held.empty();
  for (const std::string& h : held) own_tables = own_tables && (h == "table reg_keys" || h == "table reg_values");
  if (id == 0 && version == 0 && held.empty()) return Kind::Blank;
  if (id == 0 && version == 0 && own_tables) return Kind::Unmarked;
  std::string what;
  if (id != 0) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(id) & 0xFFFFFFFFu);
    what = "it is marked as another program's file (application id " + std::string(hex) + ")";
  } else if (version != 0) {
    what = "it carries another program's layout number " + std::to_string(version);
  } else {
    for (const std::string& h : held) what += (what.empty() ? "" : ", ") + h;
    what = "it holds " + what;
  }
  FError = path + " is not a DNS cache of this program, so it is left as it is: " + what;
  return Kind::Foreign;
}

bool Registry::Store::TakeOver(const std::string& path) {
  if (!Exec("BEGIN IMMEDIATE")) return false;
  // Another program may have written the file since it was first looked at.
  FKind = Inspect(path);
  if (FKind == Kind::Foreign) return Rollback();
  if (FKind != Kind::Marked && (!Exec(kSchema) || !Exec(kMarkStore))) return Rollback();
  if (!Exec("COMMIT")) return Rollback();
  FKind = Kind::Marked;
  return true;
}

bool Registry::Store::Open(const std::string& path, bool create_file) {
  FAbsent = false;
  if (!FDb.IsOpen()) {
    if (!create_file && !path.empty() && access(path.c_str(), F_OK) != 0) {
      FAbsent = true;
      FError = "no store at " + path;
      return false;
    }
    if (create_file && !path.empty() && !MakeFolderFor(path)) {
      FError = "cannot create the folder of " + path;
      return false;
    }
    // Whoever else may change the folder could plant the answers a failed DNS lookup
    // falls back on.
    if (const std::string problem = StorePlaceProblem(path); !problem.empty()) {
      FError = problem;
      return false;
    }
    if (!FDb.Open(path, create_file, kBusyWaitMs)) {
      FError = "cannot open " + path + ": " + FDb.Message();
      return false;
    }
    // Nothing is written before the file is known to be this store's (or empty).
    FKind = Exec("BEGIN") ? Inspect(path) : (Fail("cannot read " + path), Kind::Foreign);
    FDb.Rollback();  // it only read
    if (FKind == Kind::Foreign) {
      FDb.Close();
      return false;
    }
  }
  if (create_file && FKind != Kind::Marked) return TakeOver(path);
  // Reading never changes the file: an empty one holds no key yet, and is looked at
  // again next time, since another program may fill it meanwhile.
  if (FKind == Kind::Blank) {
    FDb.Close();
    FAbsent = true;
    FError = "no store at " + path;
    return false;
  }
  return true;
}

std::optional<long long> Registry::Store::FindKey(const std::string& path) {
  long long id = 0;
  for (const std::string& part : SplitPath(path)) {
    SqliteStatement s(FDb, "SELECT id FROM reg_keys WHERE parent=?1 AND name=?2");
    if (!s.Ok()) {
      Fail("lookup of " + path);
      return std::nullopt;
    }
    s.Bind(1, id).BindText(2, part);
    if (s.Next() != Step::Row) return std::nullopt;
    id = s.Int(0);
  }
  return id;
}

std::optional<long long> Registry::Store::CreateKey(const std::string& path) {
  long long id = 0;
  for (const std::string& part : SplitPath(path)) {
    SqliteStatement ins(FDb, "INSERT OR IGNORE INTO reg_keys(parent, name) VALUES(?1, ?2)");
    SqliteStatement sel(FDb, "SELECT id FROM reg_keys WHERE parent=?1 AND name=?2");
    if (!ins.Ok() || !sel.Ok() || ins.Bind(1, id).BindText(2, part).Next() != Step::Done ||
        sel.Bind(1, id).BindText(2, part).Next() != Step::Row) {
      Fail("create of " + path);
      return std::nullopt;
    }
    id = sel.Int(0);
  }
  return id;
}

bool Registry::Store::DeleteTree(long long id) {
  std::vector<long long> children;
  {
    SqliteStatement s(FDb, "SELECT id FROM reg_keys WHERE parent=?1");
    if (!s.Ok()) return Fail("delete");
    s.Bind(1, id);
    while (s.Next() == Step::Row) children.push_back(s.Int(0));
  }
  for (const long long child : children)
    if (!DeleteTree(child)) return false;
  SqliteStatement v(FDb, "DELETE FROM reg_values WHERE key=?1");
  SqliteStatement k(FDb, "DELETE FROM reg_keys WHERE id=?1");
  if (!v.Ok() || !k.Ok()) return Fail("delete");
  if (v.Bind(1, id).Next() != Step::Done || k.Bind(1, id).Next() != Step::Done) return Fail("delete");
  return true;
}

std::optional<std::vector<Registry::Value>> Registry::Store::ReadValues(const std::string& path) {
  const auto id = FindKey(path);
  if (!id) return std::nullopt;
  SqliteStatement s(FDb, "SELECT name, type, data FROM reg_values WHERE key=?1 ORDER BY id");
  if (!s.Ok()) {
    Fail("read of " + path);
    return std::nullopt;
  }
  s.Bind(1, *id);
  std::vector<Value> values;
  Step step;
  while ((step = s.Next()) == Step::Row) {
    const long long type = s.Int(1);
    values.push_back({s.Bytes(0),
                      type == 1 ? ValueType::String : type == 2 ? ValueType::Integer : ValueType::Binary,
                      s.Bytes(2)});
  }
  if (step != Step::Done) {
    Fail("read of " + path);
    return std::nullopt;
  }
  return values;
}

bool Registry::Store::WriteValue(long long key, const Value& value) {
  SqliteStatement s(FDb, kWriteValue);
  if (!s.Ok() || s.Bind(1, key).BindText(2, value.name).Bind(3, static_cast<long long>(value.type))
                         .BindBytes(4, value.data).Next() != Step::Done)
    return Fail("write of " + value.name);
  return true;
}

std::string Registry::DefaultPath() { return StateFile("registry.db"); }

std::string Registry::PlaceProblem(const std::string& path) { return StorePlaceProblem(path); }

Registry::Registry(std::string path) : FPath(std::move(path)), FStore(std::make_unique<Store>(FLastError, FAbsent)) {}

Registry::~Registry() = default;

void Registry::SetGiveUp(std::function<bool()> give_up) { FStore->FDb.SetGiveUp(std::move(give_up)); }

bool Registry::Fail(const std::string& what) { return FStore->Fail(what); }

bool Registry::OpenKey(const std::string& path, bool create) {
  FLastError.clear();
  if (!FStore->Open(FPath, create)) return false;
  if (!create) return FStore->FindKey(path).has_value();
  if (!FStore->Exec("BEGIN IMMEDIATE")) return false;
  if (!FStore->CreateKey(path)) return FStore->Rollback();
  return FStore->Exec("COMMIT");
}

bool Registry::KeyExists(const std::string& path) {
  return FStore->Open(FPath, false) && FStore->FindKey(path).has_value();
}

bool Registry::DeleteKey(const std::string& path) {
  if (!FStore->Open(FPath, false)) return true;
  if (!FStore->Exec("BEGIN IMMEDIATE")) return false;
  const auto id = FStore->FindKey(path);
  if (id && *id != 0 && !FStore->DeleteTree(*id)) return FStore->Rollback();
  return FStore->Exec("COMMIT");
}

std::optional<std::vector<Registry::Value>> Registry::ReadValues(const std::string& path) {
  if (!FStore->Open(FPath, false)) return std::nullopt;
  // One read transaction, so the key and its values come from the same replacement.
  if (!FStore->Exec("BEGIN")) return std::nullopt;
  auto result = FStore->ReadValues(path);
  FStore->Exec("COMMIT");
  return result;
}

bool Registry::ReplaceValues(const std::string& path, const std::vector<Value>& values) {
  if (!FStore->Open(FPath, true)) return false;
  if (!FStore->Exec("BEGIN IMMEDIATE")) return false;
  if (const auto old = FStore->FindKey(path); old && *old != 0 && !FStore->DeleteTree(*old)) return FStore->Rollback();
  const auto id = FStore->CreateKey(path);
  if (!id) return FStore->Rollback();
  for (const Value& v : values)
    if (!FStore->WriteValue(*id, v)) return FStore->Rollback();
  return FStore->Exec("COMMIT") || FStore->Rollback();
}

bool Registry::WriteValue(const std::string& path, const Value& value) {
  if (!FStore->Open(FPath, true)) return false;
  if (!FStore->Exec("BEGIN IMMEDIATE")) return false;
  const auto id = FStore->CreateKey(path);
  if (!id || !FStore->WriteValue(*id, value)) return FStore->Rollback();
  return FStore->Exec("COMMIT");
}

}  // namespace zp
