#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

namespace zp {

// The newest runs kept unless the operator says otherwise.
inline constexpr int kDefaultHistoryLimit = 5000;

// The record of finished runs, kept in the user's state folder beside the DNS cache.
//
// Each run is written in one transaction, with the trimming to the newest `limit` runs in
// the same transaction, so a crash at any moment leaves the history as it was before or
// after the run, never half of it; a second probe writing at the same moment waits for
// the first rather than losing its run. The stored layout carries its version, and an
// older file is brought up to date step by step when a run is recorded into it.
//
// The file is marked as this program's (its application id), so that a file of anything
// else given as the history is refused, never changed. Reading never makes or changes a
// file: a missing one is a history without runs (NoFileYet() tells), an older layout is
// read as it is. A damaged file (its quick check fails, or a read does) is an error, never
// fewer runs or routes than it holds.
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
  // Waits for another program's hold on the file (up to 10 s) end early once `give_up`
  // returns true: a console run's deadline. Before the first call.
  void SetGiveUp(std::function<bool()> give_up) { FGiveUp = std::move(give_up); }
  // The last read found no file: nothing has been recorded yet.
  bool NoFileYet() const { return FNoFile; }

  // Records the run (its id is set), making the file and its folder when there are none;
  // false with LastError() when the store failed or the file is not a history.
  bool Record(HistoryRun& run);
  // The newest `count` runs, newest first.
  std::optional<std::vector<HistoryRun>> Recent(int count);
  // The newest run with these settings, leaving out the run `except` (0: none).
  std::optional<HistoryRun> LastWith(const RunSettings& settings, long long except = 0);
  // Each of the route `names`' newest record with a score in a run with `settings` (see
  // PreviousScores); empty when there is no file yet.
  std::optional<PreviousScores> PreviousScoresOf(const RunSettings& settings, const std::vector<std::string>& names);
  // How many runs are kept.
  std::optional<long long> Count();

 private:
  struct Db;
  enum class Access { Read, Write };
  // False with LastError(), or with NoFileYet() for a read of a missing file.
  bool Open(Access access);
  bool Blank();
  bool Fail(const std::string& what);

  std::string FPath;
  int FLimit;
  std::string FLastError;
  bool FNoFile = false;
  std::function<bool()> FGiveUp;
  std::unique_ptr<Db> FDb;
};

}  // namespace zp
