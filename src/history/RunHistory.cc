// The run history on SQLite. Its own file, history.db, beside the DNS cache's
// registry.db: the DNS cache's store is the platform's registry stand-in (the real
// registry on Windows), while the history is the client's own and versions its layout
// by itself; a large history never slows the DNS cache's small transactions either.
#include "history/RunHistory.h"

#include <filesystem>

#include "history/HistoryFile.h"
#include "platform/PrivateFolder.h"
#include "platform/SqliteDb.h"
#include "platform/SqliteStatement.h"
#include "platform/StateFolder.h"
#include "platform/Utf8Path.h"

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
};
constexpr int kVersion = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);

using Stmt = SqliteStatement;
using Step = SqliteStatement::Step;

// Two probes ending together: the second waits for the first's transaction.
constexpr int kBusyWaitMs = 10000;

// The columns a file of layout 1 lacks are read as empty: reading never brings a file up
// to date.
std::string RunColumns(int version) {
  return std::string("SELECT id, start_utc_ms, server, port, route_code, result_code, banner, stopped,"
                     " elapsed_seconds, ") +
         (version >= 2 ? "key_outcome, version" : "'', ''") + " FROM runs ";
}

// The route columns in the order ReadRoute takes them; `r` names the routes table.
std::string RouteColumns(int version) {
  return std::string("r.entry, r.name, r.score, r.failed, r.profile_seconds, r.outcome, ") +
         (version >= 2 ? "r.reason" : "''");
}

// A score stored before layout 3 for a route without one is no score.
HistoryRoute ReadRoute(Stmt& s) {
  HistoryRoute r{s.Bytes(0), s.Bytes(1), std::nullopt, s.Int(3) != 0, s.Real(4), s.Bytes(5), s.Bytes(6)};
  if (!s.IsNull(2) && ScoredOutcome(r.outcome)) r.score = static_cast<std::int32_t>(s.Int(2));
  return r;
}

HistoryRun ReadRun(Stmt& s) {
  HistoryRun r;
  r.id = s.Int(0);
  r.start_utc_ms = s.Int(1);
  r.settings.server = s.Bytes(2);
  r.settings.port = static_cast<std::int32_t>(s.Int(3));
  r.settings.route_code = s.Bytes(4);
  r.result_code = static_cast<std::int32_t>(s.Int(5));
  r.banner = s.Bytes(6);
  r.stopped = s.Int(7) != 0;
  r.elapsed_seconds = s.Real(8);
  r.key_outcome = s.Bytes(9);
  r.version = s.Bytes(10);
  return r;
}

}  // namespace

struct RunHistory::Db {
  SqliteDb FSql;
  int FVersion = 0;  // the layout found; 0 for a file without tables yet
  bool FWritable = false;
  // The run's routes and route servers, read into `run`.
  bool Details(HistoryRun& run);
};

bool RunHistory::Db::Details(HistoryRun& run) {
  Stmt r(FSql, ("SELECT " + RouteColumns(FVersion) + " FROM routes r WHERE run_id=?1 ORDER BY position").c_str());
  if (!r.Ok()) return false;
  r.Bind(1, run.id);
  Step step;
  while ((step = r.Next()) == Step::Row) run.routes.push_back(ReadRoute(r));
  if (step != Step::Done) return false;
  if (FVersion < 2) return true;
  Stmt s(FSql, "SELECT server, address, port, outcome FROM servers WHERE run_id=?1 ORDER BY position");
  if (!s.Ok()) return false;
  s.Bind(1, run.id);
  while ((step = s.Next()) == Step::Row)
    run.servers.push_back({s.Bytes(0), s.Bytes(1), static_cast<std::int32_t>(s.Int(2)), s.Bytes(3)});
  return step == Step::Done;
}

bool RunHistory::Available() { return true; }
const char* RunHistory::UnavailableText() { return "history is not available in this build"; }

std::string RunHistory::DefaultPath() { return StateFile("history.db"); }

RunHistory::RunHistory(std::string path, int limit) : FPath(std::move(path)), FLimit(limit < 1 ? 1 : limit) {}
RunHistory::~RunHistory() = default;

bool RunHistory::Fail(const std::string& what) {
  FLastError = what;
  if (FDb && FDb->FSql.IsOpen()) FLastError += ": " + FDb->FSql.Message();
  return false;
}

bool RunHistory::Open(Access access) {
  FLastError.clear();
  FNoFile = false;
  if (FDb && (FDb->FWritable || access == Access::Read)) return true;
  FDb.reset();
  const bool write = access == Access::Write;
  if (write && !FPath.empty() && !MakeFolderFor(FPath)) {
    FLastError = "cannot create the folder of " + FPath;
    return false;
  }
  // A folder another user may change could hold a history planted or swapped under the
  // probe's feet: it is not used, for reading either.
  if (std::string problem = StorePlaceProblem(FPath); !problem.empty()) {
    FLastError = std::move(problem);
    return false;
  }
  if (!write) {
    std::error_code ec;
    if (!std::filesystem::exists(Utf8Path(FPath), ec) && !ec) {
      FNoFile = true;
      return false;
    }
  }
  auto db = std::make_unique<Db>();
  SqliteDb& sql = db->FSql;
  sql.SetGiveUp(FGiveUp);
  if (!sql.Open(FPath, write, kBusyWaitMs)) {
    FLastError = "cannot open " + FPath + ": " + sql.Message();
    return false;
  }
  // Whose file it is and whether it is whole, before anything is written to it. Its mark,
  // layout and tables are read in one snapshot: a program creating the history at this
  // moment must not be caught half-way, its tables seen without the mark written with them.
  if (!sql.Exec("BEGIN")) {
    FLastError = "cannot read " + FPath + ": " + sql.Message();
    return false;
  }
  const HistoryFileCheck found = CheckHistoryFile(sql, FPath, kApplicationId, kVersion);
  sql.Rollback();  // it only read
  if (!found.error.empty()) {
    FLastError = found.error;
    return false;
  }
  db->FVersion = found.version;
  if (write) {
    // The write-ahead log lets readers (a History window) go on while a run is written.
    // The version is read and raised inside one write transaction, so two programs opening
    // an old file together migrate it once.
    if (!sql.ExecWaiting("PRAGMA journal_mode=WAL", kBusyWaitMs) || !sql.ExecWaiting("BEGIN IMMEDIATE", kBusyWaitMs)) {
      FLastError = "cannot write to " + FPath + ": " + sql.Message();
      return false;
    }
    const HistoryFileCheck now = CheckHistoryFile(sql, FPath, kApplicationId, kVersion, false);
    if (!now.error.empty()) {
      FLastError = now.error;
      return sql.Rollback();
    }
    for (int step = now.version; step < kVersion; ++step) {
      if (!sql.Exec(kSteps[step])) {
        FLastError = "cannot bring " + FPath + " to layout " + std::to_string(step + 1) + ": " + sql.Message();
        return sql.Rollback();
      }
    }
    const std::string mark = "PRAGMA user_version=" + std::to_string(kVersion) +
                             "; PRAGMA application_id=" + std::to_string(kApplicationId);
    if (!sql.Exec(mark.c_str()) || !sql.Exec("COMMIT")) {
      FLastError = "cannot write to " + FPath + ": " + sql.Message();
      return sql.Rollback();
    }
    db->FVersion = kVersion;
    db->FWritable = true;
  }
  FDb = std::move(db);
  return true;
}

// A file without tables has no runs. The connection is not kept: the next read looks
// again, for another program may have recorded a run since.
bool RunHistory::Blank() {
  if (FDb->FVersion != 0) return false;
  FDb.reset();
  return true;
}

bool RunHistory::Record(HistoryRun& run) {
  if (!Open(Access::Write)) return false;
  SqliteDb& sql = FDb->FSql;
  const std::string cannot = "cannot write to " + FPath;
  if (!sql.ExecWaiting("BEGIN IMMEDIATE", kBusyWaitMs)) return Fail(cannot);
  Stmt ins(sql,
           "INSERT INTO runs(start_utc_ms, server, port, route_code, result_code, banner, stopped, elapsed_seconds,"
           " key_outcome, version) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  if (!ins.Ok()) return Fail(cannot), sql.Rollback();
  ins.Bind(1, run.start_utc_ms).BindBytes(2, run.settings.server).Bind(3, static_cast<long long>(run.settings.port));
  ins.BindBytes(4, run.settings.route_code).Bind(5, static_cast<long long>(run.result_code)).BindBytes(6, run.banner);
  ins.Bind(7, static_cast<long long>(run.stopped)).Bind(8, run.elapsed_seconds).BindBytes(9, run.key_outcome);
  ins.BindBytes(10, run.version);
  if (ins.Next() != Step::Done) return Fail(cannot), sql.Rollback();
  const long long id = sql.LastInsertId();
  long long position = 0;
  for (const HistoryRoute& r : run.routes) {
    Stmt s(sql,
           "INSERT INTO routes(run_id, position, entry, name, score, failed, profile_seconds, outcome, reason)"
           " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    if (!s.Ok()) return Fail(cannot), sql.Rollback();
    s.Bind(1, id).Bind(2, position++).BindBytes(3, r.entry).BindBytes(4, r.name);
    if (r.score) s.Bind(5, static_cast<long long>(*r.score));
    else s.BindNull(5);
    s.Bind(6, static_cast<long long>(r.failed)).Bind(7, r.profile_seconds).BindBytes(8, r.outcome).BindBytes(9, r.reason);
    if (s.Next() != Step::Done) return Fail(cannot), sql.Rollback();
  }
  position = 0;
  for (const HistoryServer& v : run.servers) {
    Stmt s(sql, "INSERT INTO servers(run_id, position, server, address, port, outcome) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (!s.Ok()) return Fail(cannot), sql.Rollback();
    s.Bind(1, id).Bind(2, position++).BindBytes(3, v.server).BindBytes(4, v.address);
    s.Bind(5, static_cast<long long>(v.port)).BindBytes(6, v.outcome);
    if (s.Next() != Step::Done) return Fail(cannot), sql.Rollback();
  }
  // The bound, in the same transaction: the oldest runs beyond it go with their details.
  Stmt cut(sql, "SELECT id FROM runs ORDER BY id DESC LIMIT 1 OFFSET ?1");
  if (!cut.Ok()) return Fail("cannot trim " + FPath), sql.Rollback();
  cut.Bind(1, static_cast<long long>(FLimit));
  const Step beyond = cut.Next();
  if (beyond == Step::Failed) return Fail("cannot trim " + FPath), sql.Rollback();
  if (beyond == Step::Row) {
    const long long oldest_dropped = cut.Int(0);
    for (const char* text : {"DELETE FROM routes WHERE run_id<=?1", "DELETE FROM servers WHERE run_id<=?1",
                             "DELETE FROM runs WHERE id<=?1"}) {
      Stmt del(sql, text);
      if (!del.Ok() || del.Bind(1, oldest_dropped).Next() != Step::Done)
        return Fail("cannot trim " + FPath), sql.Rollback();
    }
  }
  if (!sql.Exec("COMMIT")) return Fail(cannot), sql.Rollback();
  run.id = id;
  return true;
}

std::optional<std::vector<HistoryRun>> RunHistory::Recent(int count) {
  if (!Open(Access::Read)) return FNoFile ? std::optional(std::vector<HistoryRun>()) : std::nullopt;
  if (Blank()) return std::vector<HistoryRun>();
  SqliteDb& sql = FDb->FSql;
  const std::string cannot = "cannot read " + FPath;
  // One read transaction: the runs and their details from the same moment.
  if (!sql.Exec("BEGIN")) return Fail(cannot), std::nullopt;
  std::vector<HistoryRun> runs;
  {
    Stmt s(sql, (RunColumns(FDb->FVersion) + "ORDER BY id DESC LIMIT ?1").c_str());
    if (!s.Ok()) return Fail(cannot), sql.Rollback(), std::nullopt;
    s.Bind(1, static_cast<long long>(count < 0 ? 0 : count));
    Step step;
    while ((step = s.Next()) == Step::Row) runs.push_back(ReadRun(s));
    if (step != Step::Done) return Fail(cannot), sql.Rollback(), std::nullopt;
  }
  for (HistoryRun& run : runs)
    if (!FDb->Details(run)) return Fail(cannot), sql.Rollback(), std::nullopt;
  sql.Exec("COMMIT");
  return runs;
}

std::optional<HistoryRun> RunHistory::LastWith(const RunSettings& settings, long long except) {
  if (!Open(Access::Read) || Blank()) return std::nullopt;
  SqliteDb& sql = FDb->FSql;
  const std::string cannot = "cannot read " + FPath;
  if (!sql.Exec("BEGIN")) return Fail(cannot), std::nullopt;
  std::optional<HistoryRun> found;
  {
    Stmt s(sql, (RunColumns(FDb->FVersion) +
                 "WHERE server=?1 AND port=?2 AND route_code=?3 AND id<>?4 ORDER BY id DESC LIMIT 1")
                    .c_str());
    if (!s.Ok()) return Fail(cannot), sql.Rollback(), std::nullopt;
    s.BindBytes(1, settings.server).Bind(2, static_cast<long long>(settings.port)).BindBytes(3, settings.route_code);
    s.Bind(4, except);
    const Step step = s.Next();
    if (step == Step::Row) found = ReadRun(s);
    if (step == Step::Failed) return Fail(cannot), sql.Rollback(), std::nullopt;
  }
  if (found && !FDb->Details(*found)) return Fail(cannot), sql.Rollback(), std::nullopt;
  sql.Exec("COMMIT");
  return found;
}

std::optional<PreviousScores> RunHistory::PreviousScoresOf(const RunSettings& settings,
                                                          const std::vector<std::string>& names) {
  PreviousScores found;
  if (!Open(Access::Read)) return FNoFile ? std::optional(found) : std::nullopt;
  if (Blank()) return found;
  SqliteDb& sql = FDb->FSql;
  const std::string cannot = "cannot read " + FPath;
  // Before layout 3 a route without a score still had a number: its outcome tells.
  const std::string scored =
      FDb->FVersion >= 3 ? "r.score IS NOT NULL" : "r.outcome NOT IN ('not_tried', 'stopped')";
  Stmt s(sql, ("SELECT " + RouteColumns(FDb->FVersion) + " FROM routes r JOIN runs u ON u.id=r.run_id WHERE r.name=?1 AND " +
               scored + " AND u.server=?2 AND u.port=?3 AND u.route_code=?4 ORDER BY r.run_id DESC LIMIT 1")
                  .c_str());
  if (!s.Ok() || !sql.Exec("BEGIN")) return Fail(cannot), std::nullopt;
  for (const std::string& name : names) {
    if (found.count(name) != 0) continue;
    s.Reset();
    s.BindBytes(1, name).BindBytes(2, settings.server).Bind(3, static_cast<long long>(settings.port));
    s.BindBytes(4, settings.route_code);
    const Step step = s.Next();
    if (step == Step::Failed) return Fail(cannot), sql.Rollback(), std::nullopt;
    if (step == Step::Row) found.emplace(name, ReadRoute(s));
  }
  s.Reset();
  sql.Exec("COMMIT");
  return found;
}

std::optional<long long> RunHistory::Count() {
  if (!Open(Access::Read)) return FNoFile ? std::optional(0LL) : std::nullopt;
  if (Blank()) return 0;
  Stmt s(FDb->FSql, "SELECT count(*) FROM runs");
  if (!s.Ok() || s.Next() != Step::Row) return Fail("cannot read " + FPath), std::nullopt;
  return s.Int(0);
}

}  // namespace zp
