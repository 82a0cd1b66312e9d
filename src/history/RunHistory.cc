// The run history on SQLite. Its own file, history.db, beside the DNS cache's
// registry.db: the DNS cache's store is the platform's registry stand-in (the real
// registry on Windows), while the history is the client's own and versions its layout
// by itself; a large history never slows the DNS cache's small transactions either.
#include "history/RunHistory.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "history/HistoryDb.h"
#include "history/HistoryFile.h"
#include "history/HistoryLayout.h"
#include "history/HistoryReader.h"
#include "platform/PrivateFolder.h"
#include "platform/StateFolder.h"
#include "platform/Utf8Path.h"

namespace zp {

namespace {

using Stmt = SqliteStatement;
using Step = SqliteStatement::Step;

// Two probes ending together: the second waits for the first's transaction.
constexpr int kBusyWaitMs = 10000;
// Another program opens or closes the history in moments; a log without its index for
// longer has lost it.
constexpr long long kLostIndexMs = 1000;
constexpr long long kDayMs = 24LL * 60 * 60 * 1000;

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(Utf8Path(path), ec);
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

// A reader never makes a file beside the history. It holds the file as SQLite's readers
// do, first of all: while it does, a program that writes and closes cannot fold its log
// back into the file nor delete the log and its index, so what the reader finds stays. A
// program that has the file open (or left its log behind) has a write-ahead log and its
// index beside it, and SQLite reads through them. Otherwise there is no log to read: the
// file is read as it stands, as SQLite does for read-only media. A log without its index
// is a moment of another program's opening or closing the file; if it lasts, the index is
// lost, and SQLite would make one.
bool RunHistory::OpenToRead(HistoryDb& db) {
  const std::string wal = FPath + "-wal";
  const auto since = std::chrono::steady_clock::now();
  for (;;) {
    const auto waited = std::chrono::steady_clock::now() - since;
    const bool given_up = waited >= std::chrono::milliseconds(kBusyWaitMs) ||
                          (waited >= SqliteDb::kShortestWait && FGiveUp && FGiveUp());
    bool busy = false;
    if (db.Lock().Take(FPath, busy)) {
      const bool log = Exists(wal) || Exists(FPath + "-journal");
      if (!log || !Exists(wal) || Exists(FPath + "-shm")) {
        if (db.Sql().OpenReadOnly(FPath, !log, kBusyWaitMs)) return true;
        FLastError = "cannot open " + FPath + ": " + db.Sql().Message();
        return false;
      }
      db.Lock().Release();
      if (waited >= std::chrono::milliseconds(kLostIndexMs) || given_up) {
        FLastError = "cannot read " + FPath + " without writing beside it: its log " + wal +
                     " has lost the index file beside it (the next run recorded mends that)";
        return false;
      }
    } else if (!busy || given_up) {
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
  const HistoryFileCheck found = CheckHistoryFile(sql, FPath, kApplicationId, HistoryLayoutVersion(), false);
  sql.Rollback();  // it only read
  if (!found.error.empty()) {
    FLastError = found.error;
    return false;
  }
  db->SetVersion(found.version);
  if (write && !(FLastError = UpgradeHistoryLayout(*db, FPath, kApplicationId, kBusyWaitMs)).empty()) return false;
  FDb = std::move(db);
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
    FDb->ResetAll();
    sql.Rollback();
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
    s->Bind(1, id).Bind(2, position++).BindBytes(3, r.entry).BindBytes(4, r.name);
    if (r.score) s->Bind(5, static_cast<long long>(*r.score));
    else s->BindNull(5);
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
  const bool ok = HistoryReader(*FDb).EachRun(query, each);
  if (!ok) Fail("cannot read " + FPath);
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
  const auto count = HistoryReader(*FDb).Count(query);
  if (!count) Fail("cannot read " + FPath);
  EndRead();
  return count;
}

std::optional<long long> RunHistory::Count() { return Count(HistoryQuery{}); }

bool RunHistory::EachRouteRun(const std::string& name, long long count,
                              const std::function<bool(const HistoryRun&, const HistoryRoute&)>& each) {
  if (!Open(Access::Read)) return FNoFile;
  if (Blank()) return true;
  const bool ok = HistoryReader(*FDb).EachRouteRun(name, count, each);
  if (!ok) Fail("cannot read " + FPath);
  EndRead();
  return ok;
}

std::optional<HistoryRun> RunHistory::LastWith(const RunSettings& settings, long long except) {
  if (!Open(Access::Read) || Blank()) return std::nullopt;
  std::optional<HistoryRun> found;
  if (!HistoryReader(*FDb).LastWith(settings, except, found)) Fail("cannot read " + FPath);
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
  FDb->ResetAll();
  if (!pruned) sql.Rollback();
  return pruned;
}

std::optional<PreviousScores> RunHistory::PreviousScoresOf(const RunSettings& settings,
                                                          const std::vector<std::string>& names) {
  if (!Open(Access::Read)) return FNoFile ? std::optional(PreviousScores()) : std::nullopt;
  if (Blank()) return PreviousScores();
  auto found = HistoryReader(*FDb).PreviousScoresOf(settings, names);
  if (!found) Fail("cannot read " + FPath);
  EndRead();
  return found;
}

}  // namespace zp
