// The run history on SQLite. Its own file, history.db, beside the DNS cache's
// registry.db: the DNS cache's store is the platform's registry stand-in (the real
// registry on Windows), while the history is the client's own and versions its layout
// by itself; a large history never slows the DNS cache's small transactions either.
#include "history/RunHistory.h"

#include <chrono>
#include <filesystem>
#include <limits>
#include <thread>

#include "history/HistoryDb.h"
#include "history/HistoryFile.h"
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
    // 3: a year of runs: pruning and reading by time, and one route's runs without the others.
    "CREATE INDEX runs_by_start ON runs(start_utc_ms);"
    "CREATE INDEX routes_by_name ON routes(name, run_id, position);",
};
constexpr int kVersion = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);

using Stmt = SqliteStatement;
using Step = SqliteStatement::Step;

// Two probes ending together: the second waits for the first's transaction.
constexpr int kBusyWaitMs = 10000;
constexpr long long kDayMs = 24LL * 60 * 60 * 1000;

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// The filters of a query, in the order their parameters are numbered below.
std::string Where(const HistoryQuery& query) {
  std::string where = "WHERE id<?1";
  if (query.settings) where += " AND server=?2 AND port=?3 AND route_code=?4";
  if (query.since_utc_ms > 0) where += " AND start_utc_ms>=?5";
  return where;
}

void BindWhere(Stmt& s, const HistoryQuery& query) {
  s.Bind(1, query.before_id > 0 ? query.before_id : std::numeric_limits<long long>::max());
  if (query.settings)
    s.BindBytes(2, query.settings->server).Bind(3, static_cast<long long>(query.settings->port))
        .BindBytes(4, query.settings->route_code);
  if (query.since_utc_ms > 0) s.Bind(5, query.since_utc_ms);
}

}  // namespace

bool RunHistory::Available() { return true; }
const char* RunHistory::UnavailableText() { return "history is not available in this build"; }

std::string RunHistory::DefaultPath() { return StateFile("history.db"); }

RunHistory::RunHistory(std::string path, int limit) : FPath(std::move(path)), FLimit(limit < 1 ? 1 : limit) {}
RunHistory::~RunHistory() = default;

bool RunHistory::Fail(const std::string& what) {
  FLastError = what;
  if (FDb && FDb->Sql().IsOpen()) FLastError += ": " + FDb->Sql().Message();
  return false;
}

// A reader never makes a file beside the history. While another program has it open (or
// left its write-ahead log behind), SQLite reads it through that program's log and the
// index beside it. Otherwise there is no log to read: the file is read as it stands, as
// SQLite does for read-only media, under a reader's lock, so that a program that writes
// and closes meanwhile leaves its log rather than rewriting the file under the reader.
bool RunHistory::OpenToRead(HistoryDb& db) {
  const std::string wal = FPath + "-wal";
  const auto since = std::chrono::steady_clock::now();
  for (;;) {
    if (Exists(wal) || Exists(FPath + "-journal")) {
      if (Exists(wal) && !Exists(FPath + "-shm")) {
        FLastError = "cannot read " + FPath + " without writing beside it: its log " + wal +
                     " has lost the index file beside it (the next run recorded mends that)";
        return false;
      }
      if (db.Sql().OpenReadOnly(FPath, false, kBusyWaitMs)) return true;
      FLastError = "cannot open " + FPath + ": " + db.Sql().Message();
      return false;
    }
    bool busy = false;
    if (db.Lock().Take(FPath, busy)) {
      if (!Exists(wal) && !Exists(FPath + "-journal")) {
        if (db.Sql().OpenReadOnly(FPath, true, kBusyWaitMs)) return true;
        FLastError = "cannot open " + FPath + ": " + db.Sql().Message();
        return false;
      }
      db.Lock().Release();  // a writer came meanwhile: read through its log
      continue;
    }
    const auto waited = std::chrono::steady_clock::now() - since;
    if (!busy || waited >= std::chrono::milliseconds(kBusyWaitMs) ||
        (waited >= SqliteDb::kShortestWait && FGiveUp && FGiveUp())) {
      FLastError = busy ? "cannot read " + FPath + ": another program holds it" : "cannot open " + FPath;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool RunHistory::Open(Access access) {
  FLastError.clear();
  FNoFile = false;
  if (FDb && (FDb->Writable() || access == Access::Read)) return true;
  FDb.reset();
  const bool write = access == Access::Write;
  if (!write) {
    std::error_code ec;
    if (!std::filesystem::exists(Utf8Path(FPath), ec) && !ec) {
      FNoFile = true;
      return false;
    }
  } else if (!MakeFolderFor(FPath)) {
    FLastError = "cannot create the folder of " + FPath;
    return false;
  }
  auto db = std::make_unique<HistoryDb>();
  SqliteDb& sql = db->Sql();
  sql.SetGiveUp(FGiveUp);
  if (write ? !sql.Open(FPath, true, kBusyWaitMs) : !OpenToRead(*db)) {
    if (write) FLastError = "cannot open " + FPath + ": " + sql.Message();
    return false;
  }
  // Whose file it is, before anything is written to it. Its mark, layout and tables are
  // read in one snapshot: a program creating the history at this moment must not be
  // caught half-way, its tables seen without the mark written with them.
  if (!sql.Exec("BEGIN")) {
    FLastError = "cannot read " + FPath + ": " + sql.Message();
    return false;
  }
  const HistoryFileCheck found = CheckHistoryFile(sql, FPath, kApplicationId, kVersion, false);
  sql.Rollback();  // it only read
  if (!found.error.empty()) {
    FLastError = found.error;
    return false;
  }
  db->SetVersion(found.version);
  if (write && !Upgrade(*db)) return false;
  FDb = std::move(db);
  return true;
}

// The write-ahead log lets readers (a History window) go on while a run is written. The
// version is read and raised inside one write transaction, so two programs opening an old
// file together migrate it once; a damaged file is found before its layout changes.
bool RunHistory::Upgrade(HistoryDb& db) {
  SqliteDb& sql = db.Sql();
  if (!sql.ExecWaiting("PRAGMA journal_mode=WAL", kBusyWaitMs) || !sql.ExecWaiting("BEGIN IMMEDIATE", kBusyWaitMs)) {
    FLastError = "cannot write to " + FPath + ": " + sql.Message();
    return false;
  }
  const HistoryFileCheck now = CheckHistoryFile(sql, FPath, kApplicationId, kVersion, false);
  if (!now.error.empty()) {
    FLastError = now.error;
    return sql.Rollback();
  }
  if (now.version > 0 && now.version < kVersion && !(FLastError = DamageOf(sql, FPath)).empty()) return sql.Rollback();
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
  db.SetVersion(kVersion);
  db.SetWritable();
  return true;
}

void RunHistory::EndRead() {
  if (!FDb) return;
  if (FDb->Writable()) FDb->ResetAll();
  else FDb.reset();
}

// A file without tables has no runs.
bool RunHistory::Blank() {
  if (FDb->Version() != 0) return false;
  EndRead();
  return true;
}

bool RunHistory::QuickCheck() {
  FLastError = DamageOf(FDb->Sql(), FPath);
  return FLastError.empty();
}

// The bound counts run numbers, which only grow: the runs numbered `limit` and more below
// the newest go, one index range and no count of the whole table. Runs go from the old end
// only, so those numbers are the newest `limit` runs.
bool RunHistory::Trim(long long newest_id, long long newest_start_ms) {
  const auto drop = [this](const char* routes, const char* servers, const char* runs, long long bound) {
    for (const char* text : {routes, servers, runs}) {
      Stmt* del = FDb->Prepared(text);
      if (del == nullptr || del->Bind(1, bound).Next() != Step::Done) return false;
    }
    return true;
  };
  const long long cut = newest_id - FLimit;
  if (cut > 0 && !drop("DELETE FROM routes WHERE run_id<=?1", "DELETE FROM servers WHERE run_id<=?1",
                       "DELETE FROM runs WHERE id<=?1", cut))
    return false;
  if (FMaxAgeDays <= 0) return true;
  return drop("DELETE FROM routes WHERE run_id IN (SELECT id FROM runs WHERE start_utc_ms<?1)",
              "DELETE FROM servers WHERE run_id IN (SELECT id FROM runs WHERE start_utc_ms<?1)",
              "DELETE FROM runs WHERE start_utc_ms<?1", newest_start_ms - FMaxAgeDays * kDayMs);
}

bool RunHistory::Record(HistoryRun& run) {
  if (!Open(Access::Write)) return false;
  SqliteDb& sql = FDb->Sql();
  const std::string cannot = "cannot write to " + FPath;
  if (!sql.ExecWaiting("BEGIN IMMEDIATE", kBusyWaitMs)) return Fail(cannot);
  const auto failed = [&](const std::string& what) {
    Fail(what);
    sql.Rollback();
    FDb->ResetAll();
    return false;
  };
  Stmt* ins = FDb->Prepared(
      "INSERT INTO runs(start_utc_ms, server, port, route_code, result_code, banner, stopped, elapsed_seconds,"
      " key_outcome, version) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  if (ins == nullptr) return failed(cannot);
  ins->Bind(1, run.start_utc_ms).BindBytes(2, run.settings.server).Bind(3, static_cast<long long>(run.settings.port));
  ins->BindBytes(4, run.settings.route_code).Bind(5, static_cast<long long>(run.result_code)).BindBytes(6, run.banner);
  ins->Bind(7, static_cast<long long>(run.stopped)).Bind(8, run.elapsed_seconds).BindBytes(9, run.key_outcome);
  ins->BindBytes(10, run.version);
  if (ins->Next() != Step::Done) return failed(cannot);
  const long long id = sql.LastInsertId();
  long long position = 0;
  for (const HistoryRoute& r : run.routes) {
    Stmt* s = FDb->Prepared(
        "INSERT INTO routes(run_id, position, entry, name, score, failed, profile_seconds, outcome, reason)"
        " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    if (s == nullptr) return failed(cannot);
    s->Bind(1, id).Bind(2, position++).BindBytes(3, r.entry).BindBytes(4, r.name).Bind(5, static_cast<long long>(r.score));
    s->Bind(6, static_cast<long long>(r.failed)).Bind(7, r.profile_seconds).BindBytes(8, r.outcome).BindBytes(9, r.reason);
    if (s->Next() != Step::Done) return failed(cannot);
  }
  position = 0;
  for (const HistoryServer& v : run.servers) {
    Stmt* s = FDb->Prepared(
        "INSERT INTO servers(run_id, position, server, address, port, outcome) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (s == nullptr) return failed(cannot);
    s->Bind(1, id).Bind(2, position++).BindBytes(3, v.server).BindBytes(4, v.address);
    s->Bind(5, static_cast<long long>(v.port)).BindBytes(6, v.outcome);
    if (s->Next() != Step::Done) return failed(cannot);
  }
  // The bounds, in the same transaction: the oldest runs beyond them go with their details.
  if (!Trim(id, run.start_utc_ms)) return failed("cannot trim " + FPath);
  if (!sql.Exec("COMMIT")) return failed(cannot);
  FDb->ResetAll();
  run.id = id;
  return true;
}

bool RunHistory::EachRun(const HistoryQuery& query, const std::function<bool(const HistoryRun&)>& each) {
  if (!Open(Access::Read)) return FNoFile;
  if (Blank()) return true;
  SqliteDb& sql = FDb->Sql();
  const std::string cannot = "cannot read " + FPath;
  // One read transaction: the runs and their details from the same moment.
  if (!sql.Exec("BEGIN")) return Fail(cannot), EndRead(), false;
  bool ok = false;
  if (Stmt* s = FDb->Prepared(FDb->RunSelect() + Where(query) + " ORDER BY id DESC LIMIT ?6")) {
    BindWhere(*s, query);
    s->Bind(6, query.count < 0 ? 0 : query.count);
    Step step = Step::Done;
    bool more = true;
    while (more && (step = s->Next()) == Step::Row) {
      HistoryRun run = HistoryDb::ReadRun(*s);
      if (!FDb->Details(run)) break;
      more = each(run);
    }
    ok = !more || step == Step::Done;
  }
  if (!ok) Fail(cannot);
  sql.Rollback();  // it only read
  EndRead();
  return ok;
}

std::optional<std::vector<HistoryRun>> RunHistory::Runs(const HistoryQuery& query) {
  std::vector<HistoryRun> runs;
  if (!EachRun(query, [&runs](const HistoryRun& run) {
        runs.push_back(run);
        return true;
      }))
    return std::nullopt;
  return runs;
}

std::optional<std::vector<HistoryRun>> RunHistory::Recent(int count) {
  HistoryQuery query;
  query.count = count;
  return Runs(query);
}

std::optional<long long> RunHistory::Count(const HistoryQuery& query) {
  if (!Open(Access::Read)) return FNoFile ? std::optional(0LL) : std::nullopt;
  if (Blank()) return 0;
  HistoryQuery all = query;
  all.before_id = 0;
  std::optional<long long> count;
  Stmt* s = FDb->Prepared("SELECT count(*) FROM runs " + Where(all));
  if (s != nullptr) BindWhere(*s, all);
  if (s != nullptr && s->Next() == Step::Row) count = s->Int(0);
  else Fail("cannot read " + FPath);
  EndRead();
  return count;
}

std::optional<long long> RunHistory::Count() { return Count(HistoryQuery{}); }

bool RunHistory::EachRouteRun(const std::string& name, long long count,
                              const std::function<bool(const HistoryRun&, const HistoryRoute&)>& each) {
  if (!Open(Access::Read)) return FNoFile;
  if (Blank()) return true;
  SqliteDb& sql = FDb->Sql();
  const std::string cannot = "cannot read " + FPath;
  if (!sql.Exec("BEGIN")) return Fail(cannot), EndRead(), false;
  // Newest run first and, within a run, the route's last place first: the first of the
  // name in a run is the last row of its run.
  Stmt* routes = FDb->Prepared("SELECT run_id, " + FDb->RouteColumns() +
                               " FROM routes WHERE name=?1 ORDER BY run_id DESC, position DESC");
  Stmt* runs = FDb->Prepared(FDb->RunSelect() + "WHERE id=?1");
  bool ok = routes != nullptr && runs != nullptr;
  if (ok) {
    routes->BindBytes(1, name);
    long long shown = 0, pending_id = 0;
    HistoryRoute pending;
    enum class Next { Go, Stop, Failed };
    // The run of the route held back; a route whose run is gone is passed over.
    const auto hand_over = [&]() {
      runs->Reset();
      runs->Bind(1, pending_id);
      const Step found = runs->Next();
      if (found == Step::Failed) return Next::Failed;
      if (found == Step::Done) return Next::Go;
      ++shown;
      return each(HistoryDb::ReadRun(*runs), pending) && shown < count ? Next::Go : Next::Stop;
    };
    Step step = Step::Done;
    Next next = count > 0 ? Next::Go : Next::Stop;
    while (next == Next::Go && (step = routes->Next()) == Step::Row) {
      const long long run_id = routes->Int(0);
      if (pending_id != 0 && run_id != pending_id && (next = hand_over()) != Next::Go) break;
      pending_id = run_id;
      pending = HistoryDb::ReadRoute(*routes, 1);
    }
    if (next == Next::Go && step == Step::Done && pending_id != 0) next = hand_over();
    ok = next == Next::Stop || (next == Next::Go && step == Step::Done);
  }
  if (!ok) Fail(cannot);
  sql.Rollback();
  EndRead();
  return ok;
}

std::optional<HistoryRun> RunHistory::LastWith(const RunSettings& settings, long long except) {
  if (!Open(Access::Read) || Blank()) return std::nullopt;
  SqliteDb& sql = FDb->Sql();
  const std::string cannot = "cannot read " + FPath;
  if (!sql.Exec("BEGIN")) return Fail(cannot), EndRead(), std::nullopt;
  std::optional<HistoryRun> found;
  bool ok = false;
  if (Stmt* s = FDb->Prepared(FDb->RunSelect() +
                              "WHERE server=?1 AND port=?2 AND route_code=?3 AND id<>?4 ORDER BY id DESC LIMIT 1")) {
    s->BindBytes(1, settings.server).Bind(2, static_cast<long long>(settings.port)).BindBytes(3, settings.route_code);
    s->Bind(4, except);
    const Step step = s->Next();
    if (step == Step::Row) found = HistoryDb::ReadRun(*s);
    ok = step != Step::Failed && (!found || FDb->Details(*found));
  }
  if (!ok) Fail(cannot), found.reset();
  sql.Rollback();
  EndRead();
  return found;
}

std::optional<long long> RunHistory::Prune(long long before_utc_ms) {
  FNoFile = false;
  if (!Exists(FPath)) {
    FNoFile = true;
    return 0;
  }
  if (!Open(Access::Write)) return std::nullopt;
  SqliteDb& sql = FDb->Sql();
  const std::string cannot = "cannot prune " + FPath;
  if (!sql.ExecWaiting("BEGIN IMMEDIATE", kBusyWaitMs)) return Fail(cannot), std::nullopt;
  std::optional<long long> pruned;
  // Thousands of rows go at once: only from a whole file.
  if (QuickCheck()) {
    bool ok = true;
    for (const char* text : {"DELETE FROM routes WHERE run_id IN (SELECT id FROM runs WHERE start_utc_ms<?1)",
                             "DELETE FROM servers WHERE run_id IN (SELECT id FROM runs WHERE start_utc_ms<?1)",
                             "DELETE FROM runs WHERE start_utc_ms<?1"}) {
      Stmt* del = FDb->Prepared(text);
      ok = ok && del != nullptr && del->Bind(1, before_utc_ms).Next() == Step::Done;
    }
    if (ok) pruned = sql.Changes();
    if (!ok || !sql.Exec("COMMIT")) Fail(cannot), pruned.reset();
  }
  if (!pruned) sql.Rollback();
  FDb->ResetAll();
  return pruned;
}

}  // namespace zp
