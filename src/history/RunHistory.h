#pragma once
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
// older file is brought up to date step by step when it is opened.
//
// A build without a store (see ZP_HISTORY) has the same class: Available() is false and
// every call fails with UnavailableText().
class RunHistory {
 public:
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

  // Records the run (its id is set); false with LastError() when the store failed.
  bool Record(HistoryRun& run);
  // The newest `count` runs, newest first.
  std::optional<std::vector<HistoryRun>> Recent(int count);
  // The newest run with these settings, leaving out the run `except` (0: none).
  std::optional<HistoryRun> LastWith(const RunSettings& settings, long long except = 0);
  // How many runs are kept.
  std::optional<long long> Count();

 private:
  struct Db;
  bool Open();
  bool Fail(const std::string& what);

  std::string FPath;
  int FLimit;
  std::string FLastError;
  std::unique_ptr<Db> FDb;
};

}  // namespace zp
