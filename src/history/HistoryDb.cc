#include "history/HistoryDb.h"

namespace zp {

using Step = SqliteStatement::Step;

SqliteStatement* HistoryDb::Prepared(const std::string& sql) {
  auto found = FStatements.find(sql);
  if (found != FStatements.end()) {
    found->second->Reset();
    return found->second.get();
  }
  auto made = std::make_unique<SqliteStatement>(FSql, sql.c_str());
  if (!made->Ok()) return nullptr;
  return FStatements.emplace(sql, std::move(made)).first->second.get();
}

void HistoryDb::ResetAll() {
  for (auto& [sql, statement] : FStatements) statement->Reset();
}

// The columns a file of layout 1 lacks are read as empty: reading never brings a file up
// to date.
std::string HistoryDb::RunSelect() const {
  return std::string("SELECT id, start_utc_ms, server, port, route_code, result_code, banner, stopped,"
                     " elapsed_seconds, ") +
         (FVersion >= 2 ? "key_outcome, version" : "'', ''") + " FROM runs ";
}

HistoryRun HistoryDb::ReadRun(SqliteStatement& s) {
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

std::string HistoryDb::RouteColumns() const {
  return std::string("r.entry, r.name, r.score, r.failed, r.profile_seconds, r.outcome, ") +
         (FVersion >= 2 ? "r.reason" : "''");
}

// A score stored before layout 3 for a route without one is no score.
HistoryRoute HistoryDb::ReadRoute(SqliteStatement& s, int first) {
  HistoryRoute r{s.Bytes(first),     s.Bytes(first + 1), std::nullopt,       s.Int(first + 3) != 0,
                 s.Real(first + 4), s.Bytes(first + 5), s.Bytes(first + 6)};
  if (!s.IsNull(first + 2) && ScoredOutcome(r.outcome)) r.score = static_cast<std::int32_t>(s.Int(first + 2));
  return r;
}

bool HistoryDb::Details(HistoryRun& run) {
  SqliteStatement* r = Prepared("SELECT " + RouteColumns() + " FROM routes r WHERE run_id=?1 ORDER BY position");
  if (r == nullptr) return false;
  r->Bind(1, run.id);
  Step step;
  while ((step = r->Next()) == Step::Row) run.routes.push_back(ReadRoute(*r, 0));
  if (step != Step::Done) return false;
  if (FVersion < 2) return true;
  SqliteStatement* s = Prepared("SELECT server, address, port, outcome FROM servers WHERE run_id=?1 ORDER BY position");
  if (s == nullptr) return false;
  s->Bind(1, run.id);
  while ((step = s->Next()) == Step::Row)
    run.servers.push_back({s->Bytes(0), s->Bytes(1), static_cast<std::int32_t>(s->Int(2)), s->Bytes(3)});
  return step == Step::Done;
}

}  // namespace zp
