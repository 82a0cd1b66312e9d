#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "history/HistoryTestFiles.h"
#include "history/RunHistory.h"
#include "support/ProcessRunner.h"

namespace zp {
namespace {

TEST_F(RunHistoryTest, KeepsEveryPartOfARunAndListsNewestFirst) {
  RunHistory history(path_);
  HistoryRun first = SampleRun(1'800'000'000'000), second = SampleRun(1'800'000'060'000);
  second.stopped = true;
  second.banner = "STOPPED";
  ASSERT_TRUE(history.Record(first)) << history.LastError();
  ASSERT_TRUE(history.Record(second)) << history.LastError();
  EXPECT_GT(second.id, first.id);

  // A second program reading the same file sees the same runs.
  RunHistory reader(path_);
  const auto runs = reader.Recent(20);
  ASSERT_TRUE(runs) << reader.LastError();
  ASSERT_EQ(runs->size(), 2u);
  const HistoryRun& got = (*runs)[1];
  EXPECT_EQ((*runs)[0].id, second.id);
  EXPECT_TRUE((*runs)[0].stopped);
  EXPECT_EQ(got.start_utc_ms, first.start_utc_ms);
  EXPECT_EQ(got.settings.server, "127.0.0.1");
  EXPECT_EQ(got.settings.port, 0x6900);
  EXPECT_EQ(got.banner, "SOME ROUTES FAILED");
  EXPECT_EQ(got.result_code, 2);
  EXPECT_DOUBLE_EQ(got.elapsed_seconds, 3.25);
  EXPECT_EQ(got.key_outcome, "received");
  EXPECT_EQ(got.version, "9.8.7");
  ASSERT_EQ(got.routes.size(), 2u);
  EXPECT_EQ(got.routes[1].name, "r\xff<b>");  // bytes kept as they came
  EXPECT_EQ(got.routes[1].reason, "login refused: \x01NO");
  EXPECT_TRUE(got.routes[1].failed);
  EXPECT_DOUBLE_EQ(got.routes[0].profile_seconds, 0.125);
  EXPECT_THAT(got.FailedRoutes(), ElementsAre("r\xff<b>"));
  ASSERT_EQ(got.servers.size(), 1u);
  EXPECT_EQ(got.servers[0].outcome, "answered");
  EXPECT_EQ(reader.Recent(1)->size(), 1u);
}

TEST_F(RunHistoryTest, KeepsOnlyTheNewestRunsWithTheirDetails) {
  RunHistory history(path_, 3);
  for (int i = 0; i < 7; ++i) {
    HistoryRun run = SampleRun(1'800'000'000'000 + i);
    ASSERT_TRUE(history.Record(run)) << history.LastError();
  }
  EXPECT_EQ(history.Count(), 3);
  const auto runs = history.Recent(10);
  ASSERT_TRUE(runs);
  ASSERT_EQ(runs->size(), 3u);
  EXPECT_EQ(runs->front().start_utc_ms, 1'800'000'000'006);
  EXPECT_EQ(runs->back().start_utc_ms, 1'800'000'000'004);
  // Nothing of the dropped runs stays behind.
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM routes WHERE run_id NOT IN (SELECT id FROM runs)"), 0);
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM servers WHERE run_id NOT IN (SELECT id FROM runs)"), 0);
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM routes"), 6);
}

TEST_F(RunHistoryTest, FindsThePreviousRunWithTheSameSettings) {
  RunHistory history(path_);
  HistoryRun a1 = SampleRun(1), b = SampleRun(2, "10.0.0.9"), a2 = SampleRun(3);
  a2.settings.route_code = "H";
  HistoryRun a3 = SampleRun(4);
  for (HistoryRun* run : {&a1, &b, &a2, &a3}) ASSERT_TRUE(history.Record(*run));
  EXPECT_EQ(history.LastWith(a1.settings)->id, a3.id);
  EXPECT_EQ(history.LastWith(a1.settings, a3.id)->id, a1.id);
  EXPECT_EQ(history.LastWith(b.settings, b.id), std::nullopt);
  EXPECT_EQ(history.LastWith(a1.settings)->routes.size(), 2u);
}

// Whatever another program left at the path is refused by a read and by a record alike,
// with what it is, and stays exactly as it was: no tables added, no mark, no side files.
TEST_F(RunHistoryTest, RefusesFilesOfOtherProgramsAndLeavesThemAlone) {
  const struct {
    const char* name;
    std::string sql;   // what the other program wrote
    std::string text;  // or a file that is no database at all
    const char* says;
  } cases[] = {
      {"tables of its own", "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", "", "it holds other tables: notes"},
      {"marked as another program's", "PRAGMA application_id=1234; CREATE TABLE runs(x); CREATE TABLE routes(x);"
       " PRAGMA user_version=1;", "", "application id 000004D2"},
      {"a layout number and no tables", "PRAGMA user_version=3;", "", "layout number 3 but no tables"},
      {"no database", "", "# notes\nnot a database at all\n", "file is not a database"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "state");
    if (c.sql.empty()) std::ofstream(path_, std::ios::binary) << c.text;
    else Exec(path_, c.sql);
    const std::string before = Bytes(path_);
    RunHistory history(path_);
    EXPECT_EQ(history.Recent(5), std::nullopt);
    EXPECT_THAT(history.LastError(), ::testing::HasSubstr(c.says));
    HistoryRun run = SampleRun(1);
    EXPECT_FALSE(history.Record(run));
    EXPECT_THAT(history.LastError(), ::testing::HasSubstr(c.says));
    EXPECT_EQ(Bytes(path_), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "state"), {}), 1);
  }
}

TEST_F(RunHistoryTest, AFolderThatCannotBeMadeIsAnError) {
  std::filesystem::create_directories(dir_);
  std::ofstream(dir_ / "file").close();
  RunHistory history((dir_ / "file" / "history.db").string());
  HistoryRun run = SampleRun(1);
  EXPECT_FALSE(history.Record(run));
  EXPECT_THAT(history.LastError(), ::testing::HasSubstr("cannot create the folder of " + (dir_ / "file" / "history.db").string()));
}

// Two programs ending at the same moment, on a fresh file: both sets of runs land.
TEST_F(RunHistoryTest, TwoWritersAtOnceBothLand) {
  test::Program a({ZP_HISTORY_WRITER, path_, "150", "a"});
  test::Program b({ZP_HISTORY_WRITER, path_, "150", "b"});
  EXPECT_EQ(a.Finish(60), 0) << a.err;
  EXPECT_EQ(b.Finish(60), 0) << b.err;
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM runs WHERE server=CAST('a' AS BLOB)"), 150);
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM runs WHERE server=CAST('b' AS BLOB)"), 150);
  ExpectWholeRuns(300);
}

// A writer killed at arbitrary moments, mostly inside a transaction: what it left is
// a sound file whose every run is whole, and the next program goes on writing.
TEST_F(RunHistoryTest, AWriterKilledMidTransactionLeavesWholeRuns) {
  long long before = 0;
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    {
      test::Program writer({ZP_HISTORY_WRITER, path_, "0", "killed"});
      // Wait until it has written some runs of its own, then a little more.
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (Scalar(path_, "SELECT count(*) FROM runs") < before + 5 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::this_thread::sleep_for(std::chrono::milliseconds(3 + 7 * round));
    }  // destroying the program kills it
    ExpectWholeRuns(before + 5);
    before = Scalar(path_, "SELECT count(*) FROM runs");
  }
  RunHistory history(path_);
  HistoryRun run = SampleRun(1);
  EXPECT_TRUE(history.Record(run)) << history.LastError();
}

TEST(RouteChangeTest, ComparesFailureFirstThenTheScore) {
  struct Case {
    bool had_route;
    bool was_failed;
    int was_score;
    bool failed;
    int score;
    RouteChange expected;
  };
  const Case cases[] = {
      {false, false, 0, false, 0, RouteChange::New},   {true, false, 0, false, 0, RouteChange::Same},
      {true, false, 3, false, 1, RouteChange::Better}, {true, false, 1, false, 3, RouteChange::Worse},
      {true, false, 0, true, 25, RouteChange::Worse},  {true, true, 25, false, 24, RouteChange::Better},
      // A failed route that now fails with fewer records missing is still compared by score.
      {true, true, 30, true, 25, RouteChange::Better}, {true, true, 25, true, 25, RouteChange::Same},
  };
  for (const Case& c : cases) {
    HistoryRoute previous{"r", "r", c.was_score, c.was_failed, 0, "scored", ""};
    EXPECT_EQ(CompareRoute(c.had_route ? &previous : nullptr, c.failed, c.score), c.expected)
        << c.was_score << "->" << c.score;
  }
  EXPECT_STREQ(RouteChangeName(RouteChange::Worse), "worse");
}

}  // namespace
}  // namespace zp
