#include "history/HistoryFile.h"

#include <cstdio>
#include <vector>

#include "platform/SqliteDb.h"
#include "platform/SqliteStatement.h"

namespace zp {

namespace {

using Step = SqliteStatement::Step;

// The first column of every row of `sql`; false when a step fails.
bool Column(SqliteDb& db, const char* sql, std::vector<std::string>& values) {
  SqliteStatement s(db, sql);
  if (!s.Ok()) return false;
  Step step;
  while ((step = s.Next()) == Step::Row) values.push_back(s.Bytes(0));
  return step == Step::Done;
}

bool Number(SqliteDb& db, const char* sql, long long& value) {
  SqliteStatement s(db, sql);
  if (!s.Ok() || s.Next() != Step::Row) return false;
  value = s.Int(0);
  return true;
}

bool Holds(const std::vector<std::string>& names, const char* name) {
  for (const std::string& n : names)
    if (n == name) return true;
  return false;
}

}  // namespace

HistoryFileCheck CheckHistoryFile(SqliteDb& sql, const std::string& path, std::int32_t application_id,
                                  int known_version, bool quick_check) {
  HistoryFileCheck check;
  long long id = 0, version = 0;
  std::vector<std::string> tables;
  if (!Number(sql, "PRAGMA application_id", id) || !Number(sql, "PRAGMA user_version", version) ||
      !Column(sql, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite^_%' ESCAPE '^'"
                   " ORDER BY name",
              tables)) {
    check.error = "cannot read " + path + ": " + sql.Message();
    return check;
  }
  const bool marked = id == application_id;
  const bool ours_unmarked = id == 0 && version >= 1 && Holds(tables, "runs") && Holds(tables, "routes");
  const bool blank = id == 0 && version == 0 && tables.empty();
  if (!marked && !ours_unmarked && !blank) {
    std::string what;
    if (id != 0) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(id) & 0xFFFFFFFFu);
      what = "it is marked as another program's file (application id " + std::string(hex) + ")";
    } else if (tables.empty()) {
      what = "it has layout number " + std::to_string(version) + " but no tables";
    } else {
      for (const std::string& t : tables) what += (what.empty() ? "" : ", ") + t;
      what = "it holds other tables: " + what;
    }
    check.error = path + " is not a run history of this program, so it is left as it is: " + what;
    return check;
  }
  if (version > known_version) {
    check.error = path + " was written by a newer program (layout " + std::to_string(version) + ", this one knows " +
                  std::to_string(known_version) + ")";
    return check;
  }
  if (quick_check && !(check.error = DamageOf(sql, path)).empty()) return check;
  check.version = static_cast<int>(version);
  return check;
}

std::string DamageOf(SqliteDb& sql, const std::string& path) {
  std::vector<std::string> found;
  if (!Column(sql, "PRAGMA quick_check", found)) return "cannot read " + path + ": " + sql.Message();
  if (found.size() == 1 && found[0] == "ok") return {};
  return path + " is damaged: " + (found.empty() ? std::string("its check gave no answer") : found[0]);
}

}  // namespace zp
