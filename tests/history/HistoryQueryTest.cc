// Reading only what is asked for, and dropping what is old: pages by settings, time and run
// number, one route's runs, pruning by age, and the daily check of the whole file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "history/HistoryTestFiles.h"
#include "support/ProcessRunner.h"
#include "history/RunHistory.h"

namespace zp {
namespace {

using ::testing::ElementsAreArray;

constexpr long long kStart = 1'800'000'000'000;
constexpr long long kMinute = 60'000;
constexpr long long kDay = 24 * 60 * kMinute;

class HistoryQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-histq-" + std::to_string(test::CurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    path_ = (dir_ / "history.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Records `run` and returns its number.
  long long Record(RunHistory& history, HistoryRun run) {
    EXPECT_TRUE(history.Record(run)) << history.LastError();
    return run.id;
  }
  static std::vector<long long> Ids(const std::vector<HistoryRun>& runs) {
    std::vector<long long> ids;
    for (const HistoryRun& r : runs) ids.push_back(r.id);
    return ids;
  }

  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(HistoryQueryTest, PagesBySettingsTimeAndRunNumber) {
  // Twelve runs a minute apart, from settings a and b in turn: runs 1, 3, … are a's.
  RunHistory history(path_);
  for (int i = 0; i < 12; ++i) Record(history, SampleRun(kStart + i * kMinute, i % 2 == 0 ? "a" : "b"));
  const RunSettings a{"a", 0x6900, "A"}, b{"b", 0x6900, "A"}, c{"a", 0x6901, "A"};
  const struct {
    const char* name;
    const RunSettings* settings;  // null: every setting
    long long since, before, count;
    std::vector<long long> ids;
    long long found;  // without the page's bounds
  } cases[] = {
      {"newest", nullptr, 0, 0, 4, {12, 11, 10, 9}, 12},
      {"settings", &a, 0, 0, 3, {11, 9, 7}, 6},
      {"since", nullptr, kStart + 8 * kMinute, 0, 500, {12, 11, 10, 9}, 4},
      {"next page", nullptr, 0, 6, 2, {5, 4}, 12},
      {"all three", &b, kStart + 2 * kMinute, 8, 500, {6, 4}, 5},
      {"other settings", &c, 0, 0, 500, {}, 0},
      {"none", nullptr, 0, 0, 0, {}, 12},
  };
  for (const auto& t : cases) {
    SCOPED_TRACE(t.name);
    HistoryQuery query;
    if (t.settings != nullptr) query.settings = *t.settings;
    query.since_utc_ms = t.since;
    query.before_id = t.before;
    query.count = t.count;
    const auto runs = history.Runs(query);
    ASSERT_TRUE(runs) << history.LastError();
    EXPECT_THAT(Ids(*runs), ElementsAreArray(t.ids));
    for (const HistoryRun& run : *runs) EXPECT_EQ(run.routes.size(), 2u);
    EXPECT_EQ(history.Count(query), t.found);
  }
  // A reader that stops early gets no more, and leaves the connection free for the next
  // run recorded through it.
  int seen = 0;
  EXPECT_TRUE(history.EachRun({}, [&](const HistoryRun&) { return ++seen < 3; }));
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(Record(history, SampleRun(kStart + 12 * kMinute)), 13);
}

// A route's trend reads that route's runs only: the newest that had it, with the first route
// of that name in each.
TEST_F(HistoryQueryTest, OneRoutesRunsNewestFirstWithTheFirstOfItsName) {
  RunHistory history(path_);
  std::vector<long long> with;
  for (int i = 0; i < 8; ++i) {
    HistoryRun run = SampleRun(kStart + i);
    if (i % 3 == 1) run.routes[0].name = "other";                         // r1 missing
    if (i == 6) run.routes.push_back({"r1=10.0.0.9:1", "r1", 7, false, 0.5, "scored", ""});  // r1 twice
    run.routes[0].score = i;
    const long long id = Record(history, run);
    if (i % 3 != 1) with.insert(with.begin(), id);
  }
  const struct {
    long long count;
    std::size_t shown;
  } cases[] = {{3, 3}, {100, with.size()}, {0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    std::vector<long long> ids;
    EXPECT_TRUE(history.EachRouteRun("r1", c.count, [&](const HistoryRun& run, const HistoryRoute& route) {
      ids.push_back(run.id);
      EXPECT_EQ(route.name, "r1");
      EXPECT_EQ(route.score, run.id - 1);  // the first r1 of its run
      EXPECT_EQ(run.banner, "SOME ROUTES FAILED");
      return true;
    })) << history.LastError();
    EXPECT_THAT(ids, ElementsAreArray(with.begin(), with.begin() + static_cast<long>(c.shown)));
  }
  int calls = 0;
  EXPECT_TRUE(history.EachRouteRun("r1", 100, [&](const HistoryRun&, const HistoryRoute&) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(history.EachRouteRun("nowhere", 20, [](const HistoryRun&, const HistoryRoute&) { return true; }));
}

// By age: the runs started before the cut go with their routes and route servers, in one
// step; a missing history stays missing. With a maximum age each recorded run takes the
// old ones with it.
TEST_F(HistoryQueryTest, PruneAndMaximumAgeDropOldRunsWhole) {
  RunHistory missing(path_);
  EXPECT_EQ(missing.Prune(kStart), 0);
  EXPECT_TRUE(missing.NoFileYet());
  EXPECT_FALSE(std::filesystem::exists(dir_));

  RunHistory history(path_);
  for (const long long day : {0, 1, 2, 3, 4}) Record(history, SampleRun(kStart + day * kDay));
  EXPECT_EQ(history.Prune(kStart + 2 * kDay), 2) << history.LastError();
  EXPECT_EQ(history.Count(), 3);
  EXPECT_EQ(history.Prune(kStart + 2 * kDay), 0);
  EXPECT_EQ(Scalar(path_, "SELECT min(start_utc_ms) FROM runs"), kStart + 2 * kDay);
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM routes WHERE run_id NOT IN (SELECT id FROM runs)"), 0);
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM servers WHERE run_id NOT IN (SELECT id FROM runs)"), 0);

  history.SetMaxAgeDays(1);
  Record(history, SampleRun(kStart + 4 * kDay + kDay / 2));  // day 3 is 1.5 days older: it goes
  const auto runs = history.Runs({});
  ASSERT_TRUE(runs);
  std::vector<long long> starts;
  for (const HistoryRun& run : *runs) starts.push_back((run.start_utc_ms - kStart) * 2 / kDay);
  EXPECT_THAT(starts, ElementsAreArray({9, 8}));
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM routes"), 4);
}

// A prune deletes across the whole file: it checks the whole file first, and leaves a
// damaged one as it is. Damage where recording does not look is not its business.
TEST_F(HistoryQueryTest, APruneChecksTheWholeFileFirst) {
  {
    RunHistory history(path_);
    for (int i = 0; i < 200; ++i) Record(history, SampleRun(kStart + i * kMinute));
  }
  const long long leaf =
      Scalar(path_, "SELECT pageno FROM dbstat WHERE name='routes' AND pagetype='leaf' ORDER BY pageno LIMIT 1");
  if (leaf < 0) GTEST_SKIP() << "this SQLite has no dbstat table";
  const long long page = Scalar(path_, "PRAGMA page_size");
  {
    std::fstream file(path_, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp((leaf - 1) * page + 8);  // past the page's header: its cells point nowhere
    const std::string garbage(static_cast<std::size_t>(page - 8), '\x5A');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  }
  RunHistory history(path_);
  HistoryRun run = SampleRun(kStart + 200 * kMinute);
  EXPECT_TRUE(history.Record(run)) << history.LastError();
  EXPECT_EQ(history.Prune(kStart + 100 * kMinute), std::nullopt);
  EXPECT_THAT(history.LastError(), ::testing::HasSubstr(" is damaged: "));
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM runs"), 201);
}

}  // namespace
}  // namespace zp
