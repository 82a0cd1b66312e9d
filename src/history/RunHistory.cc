// The run history on SQLite. Its own file, history.db, beside the DNS cache's
// registry.db: the DNS cache's store is the platform's registry stand-in (the real
// registry on Windows), while the history is the client's own and versions its layout
// by itself; a large history never slows the DNS cache's small transactions either.
#include "history/RunHistory.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

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
};
constexpr int kVersion = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);

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

class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) == SQLITE_OK; }
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  bool ok() const { return ok_; }
  Stmt& Bind(int i, long long v) { return sqlite3_bind_int64(s_, i, v), *this; }
  Stmt& Bind(int i, double v) { return sqlite3_bind_double(s_, i, v), *this; }
  // Text from the network need not be UTF-8: kept as bytes.
  Stmt& Bind(int i, const std::string& v) {
    return sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT), *this;
  }
  int Step() { return sqlite3_step(s_); }
  long long Int(int c) { return sqlite3_column_int64(s_, c); }
  double Real(int c) { return sqlite3_column_double(s_, c); }
  std::string Text(int c) {
    const auto* p = static_cast<const char*>(sqlite3_column_blob(s_, c));
    return std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s_, c)));
  }

 private:
  sqlite3_stmt* s_ = nullptr;
  bool ok_ = false;
};

constexpr const char* kRunColumns =
    "SELECT id, start_utc_ms, server, port, route_code, result_code, banner, stopped, elapsed_seconds,"
    " key_outcome, version FROM runs ";

HistoryRun ReadRun(Stmt& s) {
  HistoryRun r;
  r.id = s.Int(0);
  r.start_utc_ms = s.Int(1);
  r.settings.server = s.Text(2);
  r.settings.port = static_cast<std::int32_t>(s.Int(3));
  r.settings.route_code = s.Text(4);
  r.result_code = static_cast<std::int32_t>(s.Int(5));
  r.banner = s.Text(6);
  r.stopped = s.Int(7) != 0;
  r.elapsed_seconds = s.Real(8);
  r.key_outcome = s.Text(9);
  r.version = s.Text(10);
  return r;
}

}  // namespace

struct RunHistory::Db {
  sqlite3* db = nullptr;
  ~Db() { sqlite3_close(db); }
  bool Exec(const char* sql, std::string& error) {
    char* err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) == SQLITE_OK) return true;
    error = err ? err : sqlite3_errmsg(db);
    sqlite3_free(err);
    return false;
  }
  // The same, retried while another program holds the file: switching a new file to the
  // write-ahead log takes the file for itself, and SQLite does not wait for that itself.
  bool ExecWaiting(const char* sql, std::string& error) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Exec(sql, error)) {
      const int code = sqlite3_errcode(db) & 0xFF;
      if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || std::chrono::steady_clock::now() > give_up) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  // Ends a failed transaction, keeping the reason it failed.
  bool Rollback() {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  bool Details(HistoryRun& run);
};

bool RunHistory::Db::Details(HistoryRun& run) {
  Stmt r(db, "SELECT entry, name, score, failed, profile_seconds, outcome, reason FROM routes"
             " WHERE run_id=?1 ORDER BY position");
  Stmt s(db, "SELECT server, address, port, outcome FROM servers WHERE run_id=?1 ORDER BY position");
  if (!r.ok() || !s.ok()) return false;
  r.Bind(1, run.id);
  while (r.Step() == SQLITE_ROW)
    run.routes.push_back({r.Text(0), r.Text(1), static_cast<std::int32_t>(r.Int(2)), r.Int(3) != 0, r.Real(4),
                          r.Text(5), r.Text(6)});
  s.Bind(1, run.id);
  while (s.Step() == SQLITE_ROW)
    run.servers.push_back({s.Text(0), s.Text(1), static_cast<std::int32_t>(s.Int(2)), s.Text(3)});
  return true;
}

bool RunHistory::Available() { return true; }
const char* RunHistory::UnavailableText() { return "history is not available in this build"; }

std::string RunHistory::DefaultPath() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::string(home) + "/.local/state";
  } else {
    base = "/tmp";
  }
  return base + "/zelvan-probe/history.db";
}

RunHistory::RunHistory(std::string path, int limit) : path_(std::move(path)), limit_(limit < 1 ? 1 : limit) {}
RunHistory::~RunHistory() = default;

bool RunHistory::Fail(const std::string& what) {
  last_error_ = what;
  if (db_ && db_->db != nullptr) last_error_ += std::string(": ") + sqlite3_errmsg(db_->db);
  return false;
}

bool RunHistory::Open() {
  last_error_.clear();
  if (db_) return true;
  const auto slash = path_.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirs(path_.substr(0, slash))) {
    last_error_ = "cannot create the folder of " + path_;
    return false;
  }
  auto db = std::make_unique<Db>();
  if (sqlite3_open_v2(path_.c_str(), &db->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    last_error_ = "cannot open " + path_ + ": " + (db->db ? sqlite3_errmsg(db->db) : "out of memory");
    return false;
  }
  // Two probes ending together: the second waits for the first's transaction. The write-
  // ahead log lets readers (a History window) go on while a run is written.
  sqlite3_busy_timeout(db->db, 10000);
  std::string error;
  if (!db->ExecWaiting("PRAGMA journal_mode=WAL", error)) {
    last_error_ = "cannot open " + path_ + ": " + error;
    return false;
  }
  // The version is read and raised inside one write transaction, so two programs opening
  // an old file together migrate it once.
  if (!db->ExecWaiting("BEGIN IMMEDIATE", error)) {
    last_error_ = "cannot open " + path_ + ": " + error;
    return false;
  }
  int version = 0;
  {
    Stmt v(db->db, "PRAGMA user_version");
    if (v.ok() && v.Step() == SQLITE_ROW) version = static_cast<int>(v.Int(0));
  }
  if (version > kVersion) {
    db->Rollback();
    last_error_ = path_ + " was written by a newer program (layout " + std::to_string(version) + ", this one knows " +
                  std::to_string(kVersion) + ")";
    return false;
  }
  for (int step = version; step < kVersion; ++step) {
    if (!db->Exec(kSteps[step], error)) {
      db->Rollback();
      last_error_ = "cannot bring " + path_ + " to layout " + std::to_string(step + 1) + ": " + error;
      return false;
    }
  }
  const std::string set_version = "PRAGMA user_version=" + std::to_string(kVersion);
  if (!db->Exec(set_version.c_str(), error) || !db->Exec("COMMIT", error)) {
    db->Rollback();
    last_error_ = "cannot open " + path_ + ": " + error;
    return false;
  }
  db_ = std::move(db);
  return true;
}

bool RunHistory::Record(HistoryRun& run) {
  if (!Open()) return false;
  std::string error;
  if (!db_->ExecWaiting("BEGIN IMMEDIATE", error)) return last_error_ = "cannot write the history: " + error, false;
  Stmt ins(db_->db,
           "INSERT INTO runs(start_utc_ms, server, port, route_code, result_code, banner, stopped, elapsed_seconds,"
           " key_outcome, version) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
  if (!ins.ok()) return Fail("cannot write the history"), db_->Rollback();
  ins.Bind(1, run.start_utc_ms).Bind(2, run.settings.server).Bind(3, static_cast<long long>(run.settings.port));
  ins.Bind(4, run.settings.route_code).Bind(5, static_cast<long long>(run.result_code)).Bind(6, run.banner);
  ins.Bind(7, static_cast<long long>(run.stopped)).Bind(8, run.elapsed_seconds).Bind(9, run.key_outcome);
  ins.Bind(10, run.version);
  if (ins.Step() != SQLITE_DONE) return Fail("cannot write the history"), db_->Rollback();
  const long long id = sqlite3_last_insert_rowid(db_->db);
  long long position = 0;
  for (const HistoryRoute& r : run.routes) {
    Stmt s(db_->db,
           "INSERT INTO routes(run_id, position, entry, name, score, failed, profile_seconds, outcome, reason)"
           " VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    if (!s.ok()) return Fail("cannot write the history"), db_->Rollback();
    s.Bind(1, id).Bind(2, position++).Bind(3, r.entry).Bind(4, r.name).Bind(5, static_cast<long long>(r.score));
    s.Bind(6, static_cast<long long>(r.failed)).Bind(7, r.profile_seconds).Bind(8, r.outcome).Bind(9, r.reason);
    if (s.Step() != SQLITE_DONE) return Fail("cannot write the history"), db_->Rollback();
  }
  position = 0;
  for (const HistoryServer& v : run.servers) {
    Stmt s(db_->db, "INSERT INTO servers(run_id, position, server, address, port, outcome) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (!s.ok()) return Fail("cannot write the history"), db_->Rollback();
    s.Bind(1, id).Bind(2, position++).Bind(3, v.server).Bind(4, v.address).Bind(5, static_cast<long long>(v.port));
    s.Bind(6, v.outcome);
    if (s.Step() != SQLITE_DONE) return Fail("cannot write the history"), db_->Rollback();
  }
  // The bound, in the same transaction: the oldest runs beyond it go with their details.
  Stmt cut(db_->db, "SELECT id FROM runs ORDER BY id DESC LIMIT 1 OFFSET ?1");
  if (!cut.ok()) return Fail("cannot trim the history"), db_->Rollback();
  cut.Bind(1, static_cast<long long>(limit_));
  if (cut.Step() == SQLITE_ROW) {
    const long long oldest_dropped = cut.Int(0);
    for (const char* sql : {"DELETE FROM routes WHERE run_id<=?1", "DELETE FROM servers WHERE run_id<=?1",
                            "DELETE FROM runs WHERE id<=?1"}) {
      Stmt del(db_->db, sql);
      if (!del.ok()) return Fail("cannot trim the history"), db_->Rollback();
      del.Bind(1, oldest_dropped);
      if (del.Step() != SQLITE_DONE) return Fail("cannot trim the history"), db_->Rollback();
    }
  }
  if (!db_->Exec("COMMIT", error)) return last_error_ = "cannot write the history: " + error, db_->Rollback();
  run.id = id;
  return true;
}

std::optional<std::vector<HistoryRun>> RunHistory::Recent(int count) {
  if (!Open()) return std::nullopt;
  std::string error;
  // One read transaction: the runs and their details from the same moment.
  if (!db_->Exec("BEGIN", error)) return last_error_ = "cannot read the history: " + error, std::nullopt;
  std::vector<HistoryRun> runs;
  {
    Stmt s(db_->db, (std::string(kRunColumns) + "ORDER BY id DESC LIMIT ?1").c_str());
    if (!s.ok()) return Fail("cannot read the history"), db_->Rollback(), std::nullopt;
    s.Bind(1, static_cast<long long>(count < 0 ? 0 : count));
    while (s.Step() == SQLITE_ROW) runs.push_back(ReadRun(s));
  }
  for (HistoryRun& run : runs)
    if (!db_->Details(run)) return Fail("cannot read the history"), db_->Rollback(), std::nullopt;
  db_->Exec("COMMIT", error);
  return runs;
}

std::optional<HistoryRun> RunHistory::LastWith(const RunSettings& settings, long long except) {
  if (!Open()) return std::nullopt;
  std::string error;
  if (!db_->Exec("BEGIN", error)) return last_error_ = "cannot read the history: " + error, std::nullopt;
  std::optional<HistoryRun> found;
  {
    Stmt s(db_->db, (std::string(kRunColumns) +
                     "WHERE server=?1 AND port=?2 AND route_code=?3 AND id<>?4 ORDER BY id DESC LIMIT 1")
                        .c_str());
    if (!s.ok()) return Fail("cannot read the history"), db_->Rollback(), std::nullopt;
    s.Bind(1, settings.server).Bind(2, static_cast<long long>(settings.port)).Bind(3, settings.route_code);
    s.Bind(4, except);
    if (s.Step() == SQLITE_ROW) found = ReadRun(s);
  }
  if (found && !db_->Details(*found)) return Fail("cannot read the history"), db_->Rollback(), std::nullopt;
  db_->Exec("COMMIT", error);
  return found;
}

std::optional<long long> RunHistory::Count() {
  if (!Open()) return std::nullopt;
  Stmt s(db_->db, "SELECT count(*) FROM runs");
  if (!s.ok() || s.Step() != SQLITE_ROW) return Fail("cannot read the history"), std::nullopt;
  return s.Int(0);
}

}  // namespace zp
