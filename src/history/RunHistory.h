#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

namespace zp {

class HistoryDb;

// The newest runs kept unless the operator says otherwise: a year of the periodic check
// (one run every 5 minutes, 105,408 in a leap year) with room for the runs started by
// hand.
inline constexpr int kDefaultHistoryLimit = 120000;

// Which runs a read returns, newest first: a page of the runs with some settings and
// since some time, and the next page after it.
struct HistoryQuery {
  std::optional<RunSettings> settings;  // only the runs with these settings; none: every setting
  long long since_utc_ms = 0;           // only the runs started then or later; 0: from the oldest
  long long before_id = 0;              // only the runs older than this one (a page's last); 0: from the newest
  long long count = 500;                // at most this many
};

// The record of finished runs, kept in the user's state folder beside the DNS cache.
//
// Each run is written in one transaction, with the trimming to the newest `limit` runs
// (and to the maximum age, when one is set) in the same transaction, so a crash at any
// moment leaves the history as it was before or after the run, never half of it; a second
// probe writing at the same moment waits for the first rather than losing its run. The
// stored layout carries its version, and an older file is brought up to date step by step
// when a run is recorded into it.
//
// The file is marked as this program's (its application id), so that a file of anything
// else given as the history is refused, never changed. Reading never makes or changes a
// file, nor one beside it: a missing one is a history without runs (NoFileYet() tells), an
// older layout is read as it is, and a file that cannot be written (another user's, on
// read-only media) is read all the same. A damaged file is an error, never fewer runs or
// routes than it holds: SQLite reports damage wherever a read or a write meets it, and its
// quick check reads the whole file where a change reaches beyond the newest pages: before
// the layout is brought up to date and before a prune. Not with each run recorded: in a
// year of runs that would read 140 MB every 5 minutes to write 2 KB.
//
// A build without a store (see ZP_HISTORY) has the same class: Available() is false and
// every call fails with UnavailableText().
class RunHistory {
 public:
  // "ZPRH" in the file's header.
  static constexpr std::int32_t kApplicationId = 0x5A505248;

  static bool Available();
  static const char* UnavailableText();  // "history is not available in this build"
  // "history.db" in the user's state folder (see StateFolder), beside the DNS cache.
  static std::string DefaultPath();

  explicit RunHistory(std::string path, int limit = kDefaultHistoryLimit);
  ~RunHistory();
  RunHistory(const RunHistory&) = delete;
  RunHistory& operator=(const RunHistory&) = delete;

  const std::string& Path() const { return FPath; }
  const std::string& LastError() const { return FLastError; }
  int Limit() const { return FLimit; }
  // Runs started more than `days` days before a run recorded are dropped with it; 0: none.
  void SetMaxAgeDays(int days) { FMaxAgeDays = days; }
  // Waits for another program's hold on the file (up to 10 s) end early once `give_up`
  // returns true: a console run's deadline. Before the first call.
  void SetGiveUp(std::function<bool()> give_up) { FGiveUp = std::move(give_up); }
  // The last read found no file: nothing has been recorded yet.
  bool NoFileYet() const { return FNoFile; }

  // Records the run (its id is set), making the file and its folder when there are none;
  // false with LastError() when the store failed or the file is not a history.
  bool Record(HistoryRun& run);

  // The runs `query` asks for, newest first, with their routes and route servers.
  std::optional<std::vector<HistoryRun>> Runs(const HistoryQuery& query);
  // The same one run at a time, from one snapshot of the file, holding only that run:
  // `each` returns false to stop. False with LastError() when the read failed.
  bool EachRun(const HistoryQuery& query, const std::function<bool(const HistoryRun&)>& each);
  // How many runs `query` finds, its count and page aside.
  std::optional<long long> Count(const HistoryQuery& query);
  // The newest `count` runs that had the route named `name`, newest first: each run
  // without its details, and that route (the first of that name in the run).
  bool EachRouteRun(const std::string& name, long long count,
                    const std::function<bool(const HistoryRun&, const HistoryRoute&)>& each);
  // The newest `count` runs, newest first.
  std::optional<std::vector<HistoryRun>> Recent(int count);
  // The newest run with these settings, leaving out the run `except` (0: none).
  std::optional<HistoryRun> LastWith(const RunSettings& settings, long long except = 0);
  // Each of the route `names`' newest record with a score in a run with `settings` (see
  // PreviousScores); empty when there is no file yet.
  std::optional<PreviousScores> PreviousScoresOf(const RunSettings& settings, const std::vector<std::string>& names);
  // How many runs are kept.
  std::optional<long long> Count();
  // Drops the runs started before `before_utc_ms`, in one transaction; how many went.
  // A missing file stays missing (none went).
  std::optional<long long> Prune(long long before_utc_ms);

 private:
  enum class Access { Read, Write };
  // False with LastError(), or with NoFileYet() for a read of a missing file.
  bool Open(Access access);
  bool OpenToRead(HistoryDb& db);
  // The read's connection is not kept unless it can write: the next read looks again,
  // for another program may have recorded a run since.
  void EndRead();
  bool Blank();
  bool Fail(const std::string& what);
  bool Trim(long long newest_id, long long newest_start_ms);
  bool QuickCheck();

  std::string FPath;
  int FLimit;
  int FMaxAgeDays = 0;
  std::string FLastError;
  bool FNoFile = false;
  std::function<bool()> FGiveUp;
  std::unique_ptr<HistoryDb> FDb;
};

}  // namespace zp
