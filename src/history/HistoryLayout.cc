#include "history/HistoryLayout.h"

#include "history/HistoryDb.h"
#include "history/HistoryFile.h"

namespace zp {

namespace {

// The stored layout, one step per version: a file of version k is brought to the
// newest by running steps k+1 … in one transaction. Steps are never edited once
// released; a change is a new step.
constexpr const char* kSteps[] = {
    // 1: runs and their routes.
    "CREATE TABLE runs("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, start_utc_ms INTEGER NOT NULL,"
    " server TEXT NOT NULL, port INTEGER NOT NULL, route_code TEXT NOT NULL,"
    " result_code INTEGER NOT NULL, banner TEXT NOT NULL, stopped INTEGER NOT NULL,"
    " elapsed_seconds REAL NOT NULL);"
    "CREATE TABLE routes("
    " run_id INTEGER NOT NULL, position INTEGER NOT NULL, entry BLOB NOT NULL, name BLOB NOT NULL,"
    " score INTEGER NOT NULL, failed INTEGER NOT NULL, profile_seconds REAL NOT NULL, outcome TEXT NOT NULL,"
    " PRIMARY KEY(run_id, position));",
    // 2: the key's outcome, the program's version, each route's reason and the route servers asked.
    "ALTER TABLE runs ADD COLUMN key_outcome TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN version TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE routes ADD COLUMN reason BLOB NOT NULL DEFAULT '';"
    "CREATE TABLE servers("
    " run_id INTEGER NOT NULL, position INTEGER NOT NULL, server BLOB NOT NULL, address TEXT NOT NULL,"
    " port INTEGER NOT NULL, outcome TEXT NOT NULL, PRIMARY KEY(run_id, position));"
    "CREATE INDEX runs_by_settings ON runs(server, port, route_code, id);",
    // 3: a route without a score (never reached, or a stop cut it short) has none stored
    // rather than the 25 of a failure; earlier rows of such routes lose theirs. The table
    // is made anew, since a column cannot drop its NOT NULL in place. Each route's
    // previous score is looked up by its name, newest first.
    "CREATE TABLE routes_3("
    " run_id INTEGER NOT NULL, position INTEGER NOT NULL, entry BLOB NOT NULL, name BLOB NOT NULL,"
    " score INTEGER, failed INTEGER NOT NULL, profile_seconds REAL NOT NULL, outcome TEXT NOT NULL,"
    " reason BLOB NOT NULL DEFAULT '', PRIMARY KEY(run_id, position));"
    "INSERT INTO routes_3 SELECT run_id, position, entry, name,"
    " CASE WHEN outcome IN ('not_tried', 'stopped') THEN NULL ELSE score END,"
    " failed, profile_seconds, outcome, reason FROM routes;"
    "DROP TABLE routes;"
    "ALTER TABLE routes_3 RENAME TO routes;"
    "CREATE INDEX routes_scored_by_name ON routes(name, run_id) WHERE score IS NOT NULL;",
    // 4: a year of runs: pruning and reading by time, and one route's runs without the
    // others, scored or not. The index of every route by name serves the previous score's
    // lookup as well (it passes over the rows without one), in place of the index of the
    // scored rows alone.
    "DROP INDEX IF EXISTS routes_scored_by_name;"
    "CREATE INDEX IF NOT EXISTS routes_by_name ON routes(name, run_id);"
    "CREATE INDEX IF NOT EXISTS runs_by_start ON runs(start_utc_ms);",
};
constexpr int kVersion = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);

}  // namespace

int HistoryLayoutVersion() { return kVersion; }

// The write-ahead log lets readers (a History window) go on while a run is written. The
// version is read and raised inside one write transaction, so two programs opening an old
// file together migrate it once; a damaged file is found before its layout changes.
std::string UpgradeHistoryLayout(HistoryDb& db, const std::string& path, std::int32_t application_id, int busy_ms) {
  SqliteDb& sql = db.Sql();
  if (!sql.ExecWaiting("PRAGMA journal_mode=WAL", busy_ms) || !sql.ExecWaiting("BEGIN IMMEDIATE", busy_ms))
    return "cannot write to " + path + ": " + sql.Message();
  const auto refused = [&sql](const std::string& error) {
    sql.Rollback();
    return error;
  };
  const HistoryFileCheck now = CheckHistoryFile(sql, path, application_id, kVersion, false);
  if (!now.error.empty()) return refused(now.error);
  if (now.version > 0 && now.version < kVersion) {
    if (std::string damage = DamageOf(sql, path); !damage.empty()) return refused(damage);
  }
  for (int step = now.version; step < kVersion; ++step) {
    if (!sql.Exec(kSteps[step]))
      return refused("cannot bring " + path + " to layout " + std::to_string(step + 1) + ": " + sql.Message());
  }
  const std::string mark = "PRAGMA user_version=" + std::to_string(kVersion) +
                           "; PRAGMA application_id=" + std::to_string(application_id);
  if (!sql.Exec(mark.c_str()) || !sql.Exec("COMMIT")) return refused("cannot write to " + path + ": " + sql.Message());
  db.SetVersion(kVersion);
  db.SetWritable();
  return {};
}


}  // namespace zp
