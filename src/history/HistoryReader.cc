#include "history/HistoryReader.h"

#include <limits>

#include "history/HistoryDb.h"
#include "history/HistoryLayout.h"
#include "history/RunHistory.h"

namespace zp {

namespace {

using Stmt = SqliteStatement;
using Step = SqliteStatement::Step;

// The filters of a query, in the order their parameters are numbered below. Runs are
// read newest first by number; a time range also bounds the numbers, from the index of
// start times, so that a short range does not walk the whole table to find its few runs.
std::string Where(const HistoryQuery& query, int version) {
  std::string where = "WHERE id<?1";
  if (query.settings) where += " AND server=?2 AND port=?3 AND route_code=?4";
  if (query.since_utc_ms > 0) {
    where += " AND start_utc_ms>=?5";
    if (version >= kLayoutRunsByStart)
      where += " AND id>=(SELECT min(id) FROM runs INDEXED BY runs_by_start WHERE start_utc_ms>=?5)";
  }
  return where;
}

void BindWhere(Stmt& s, const HistoryQuery& query) {
  s.Bind(1, query.before_id > 0 ? query.before_id : std::numeric_limits<long long>::max());
  if (query.settings)
    s.BindBytes(2, query.settings->server).Bind(3, static_cast<long long>(query.settings->port))
        .BindBytes(4, query.settings->route_code);
  if (query.since_utc_ms > 0) s.Bind(5, query.since_utc_ms);
}

// One read transaction: whatever a read takes from the file comes from the same moment.
// Its statements are done with before it ends, so that none keeps the transaction open.
class Snapshot {
 public:
  explicit Snapshot(HistoryDb& db) : FDb(db), FBegun(db.Sql().Exec("BEGIN")) {}
  ~Snapshot() {
    FDb.ResetAll();
    if (FBegun) FDb.Sql().Rollback();  // it only read
  }
  bool Begun() const { return FBegun; }

 private:
  HistoryDb& FDb;
  bool FBegun;
};

}  // namespace

bool HistoryReader::EachRun(const HistoryQuery& query, const std::function<bool(const HistoryRun&)>& each) {
  Snapshot snapshot(FDb);
  Stmt* s = FDb.Prepared(FDb.RunSelect() + Where(query, FDb.Version()) + " ORDER BY id DESC LIMIT ?6");
  if (!snapshot.Begun() || s == nullptr) return false;
  BindWhere(*s, query);
  s->Bind(6, query.count < 0 ? 0 : query.count);
  Step step = Step::Done;
  while ((step = s->Next()) == Step::Row) {
    HistoryRun run = HistoryDb::ReadRun(*s);
    if (!FDb.Details(run)) return false;
    if (!each(run)) return true;
  }
  return step == Step::Done;
}

std::optional<long long> HistoryReader::Count(const HistoryQuery& query) {
  HistoryQuery all = query;
  all.before_id = 0;
  Stmt* s = FDb.Prepared("SELECT count(*) FROM runs " + Where(all, FDb.Version()));
  if (s == nullptr) return std::nullopt;
  BindWhere(*s, all);
  if (s->Next() != Step::Row) return std::nullopt;
  return s->Int(0);
}

bool HistoryReader::EachRouteRun(const std::string& name, long long count,
                                 const std::function<bool(const HistoryRun&, const HistoryRoute&)>& each) {
  Snapshot snapshot(FDb);
  // Newest run first and, within a run, the route's last place first: the first of the
  // name in a run is the last row of its run.
  Stmt* routes = FDb.Prepared("SELECT r.run_id, " + FDb.RouteColumns() +
                              " FROM routes r WHERE r.name=?1 ORDER BY r.run_id DESC, r.position DESC");
  Stmt* runs = FDb.Prepared(FDb.RunSelect() + "WHERE id=?1");
  if (!snapshot.Begun() || routes == nullptr || runs == nullptr) return false;
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
  return next == Next::Stop || (next == Next::Go && step == Step::Done);
}

bool HistoryReader::LastWith(const RunSettings& settings, long long except, std::optional<HistoryRun>& found) {
  found.reset();
  Snapshot snapshot(FDb);
  Stmt* s = FDb.Prepared(FDb.RunSelect() +
                         "WHERE server=?1 AND port=?2 AND route_code=?3 AND id<>?4 ORDER BY id DESC LIMIT 1");
  if (!snapshot.Begun() || s == nullptr) return false;
  s->BindBytes(1, settings.server).Bind(2, static_cast<long long>(settings.port)).BindBytes(3, settings.route_code);
  s->Bind(4, except);
  const Step step = s->Next();
  if (step == Step::Row) found = HistoryDb::ReadRun(*s);
  if (step == Step::Failed || (found && !FDb.Details(*found))) {
    found.reset();
    return false;
  }
  return true;
}

std::optional<PreviousScores> HistoryReader::PreviousScoresOf(const RunSettings& settings,
                                                             const std::vector<std::string>& names) {
  Snapshot snapshot(FDb);
  // Before layout 3 a route without a score still had a number: its outcome tells.
  const std::string scored = FDb.Version() >= 3 ? "r.score IS NOT NULL" : "r.outcome NOT IN ('not_tried', 'stopped')";
  Stmt* s = FDb.Prepared("SELECT " + FDb.RouteColumns() + " FROM routes r JOIN runs u ON u.id=r.run_id WHERE r.name=?1 AND " +
                         scored + " AND u.server=?2 AND u.port=?3 AND u.route_code=?4 ORDER BY r.run_id DESC LIMIT 1");
  if (!snapshot.Begun() || s == nullptr) return std::nullopt;
  PreviousScores found;
  for (const std::string& name : names) {
    if (found.count(name) != 0) continue;
    s->Reset();
    s->BindBytes(1, name).BindBytes(2, settings.server).Bind(3, static_cast<long long>(settings.port));
    s->BindBytes(4, settings.route_code);
    const Step step = s->Next();
    if (step == Step::Failed) return std::nullopt;
    if (step == Step::Row) found.emplace(name, HistoryDb::ReadRoute(*s, 0));
  }
  return found;
}

}  // namespace zp
