#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "HistoryFiles.h"
#include "support/ProcessRunner.h"
#include "history/RunHistory.h"

namespace zp {
namespace {

using ::testing::ElementsAre;

// Layout 1 as the first released program wrote it, with one run of two routes (texts that
// may come from the network stored as bytes).
constexpr const char* kLayout1 =
    "CREATE TABLE runs(id INTEGER PRIMARY KEY AUTOINCREMENT, start_utc_ms INTEGER NOT NULL, server TEXT NOT NULL,"
    " port INTEGER NOT NULL, route_code TEXT NOT NULL, result_code INTEGER NOT NULL, banner TEXT NOT NULL,"
    " stopped INTEGER NOT NULL, elapsed_seconds REAL NOT NULL);"
    "CREATE TABLE routes(run_id INTEGER NOT NULL, position INTEGER NOT NULL, entry BLOB NOT NULL, name BLOB NOT NULL,"
    " score INTEGER NOT NULL, failed INTEGER NOT NULL, profile_seconds REAL NOT NULL, outcome TEXT NOT NULL,"
    " PRIMARY KEY(run_id, position));"
    "INSERT INTO runs VALUES(1, 1700000000000, CAST('old' AS BLOB), 26880, CAST('A' AS BLOB), 1, 'SUCCESS', 0, 2.5);"
    "INSERT INTO routes VALUES(1, 0, CAST('r1=1.2.3.4:7000' AS BLOB), CAST('r1' AS BLOB), 3, 0, 0.5, 'scored');"
    "INSERT INTO routes VALUES(1, 1, CAST('r2=1.2.3.5:7000' AS BLOB), CAST('r2' AS BLOB), 25, 1, 1.5, 'no_heartbeat');"
    "PRAGMA user_version=1;";

// Layout 2 as programs before scoreless routes wrote it: a stopped run whose second route
// the stop cut short and whose third it never reached, both stored with the 25 of a
// failure, after a run that scored all three.
constexpr const char* kLayout2 =
    "ALTER TABLE runs ADD COLUMN key_outcome TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE runs ADD COLUMN version TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE routes ADD COLUMN reason BLOB NOT NULL DEFAULT '';"
    "CREATE TABLE servers(run_id INTEGER NOT NULL, position INTEGER NOT NULL, server BLOB NOT NULL,"
    " address TEXT NOT NULL, port INTEGER NOT NULL, outcome TEXT NOT NULL, PRIMARY KEY(run_id, position));"
    "CREATE INDEX runs_by_settings ON runs(server, port, route_code, id);"
    "INSERT INTO runs VALUES(2, 1700000060000, CAST('old' AS BLOB), 26880, CAST('A' AS BLOB), 2, 'STOPPED', 1, 4.0,"
    " 'not_reached', '1.0');"
    "INSERT INTO routes VALUES(2, 0, CAST('r1=1.2.3.4:7000' AS BLOB), CAST('r1' AS BLOB), 1, 0, 0.5, 'scored', '1 of 25 detail records missing');"
    "INSERT INTO routes VALUES(2, 1, CAST('r2=1.2.3.5:7000' AS BLOB), CAST('r2' AS BLOB), 25, 0, 1.0, 'stopped',"
    " 'stopped while waiting for the login reply');"
    "INSERT INTO routes VALUES(2, 2, CAST('r3=1.2.3.6:7000' AS BLOB), CAST('r3' AS BLOB), 25, 0, 0, 'not_tried', 'not tried \xE2\x80\x94 test stopped');"
    "INSERT INTO servers VALUES(2, 0, '127.0.0.1', '127.0.0.1', 26880, 'answered');"
    "PRAGMA user_version=2;";

class RunHistoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-hist-" + std::to_string(test::CurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    path_ = (dir_ / "state" / "history.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Every run present has as many routes and route servers as its route code says: the
  // writer helper's runs are whole or absent.
  void ExpectWholeRuns(long long at_least) {
    EXPECT_EQ(Text(path_, "PRAGMA integrity_check"), "ok");
    RunHistory history(path_, 100000);
    const auto runs = history.Recent(100000);
    ASSERT_TRUE(runs) << history.LastError();
    EXPECT_GE(static_cast<long long>(runs->size()), at_least);
    for (const HistoryRun& run : *runs) {
      ASSERT_EQ(run.routes.size(), std::stoul(run.settings.route_code)) << "run " << run.id;
      ASSERT_EQ(run.servers.size(), std::stoul(run.settings.route_code)) << "run " << run.id;
    }
  }

  std::filesystem::path dir_;
  std::string path_;
};

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

// Whatever file is found, it ends at the newest layout with its runs kept, or is left
// alone when a newer program wrote it.
TEST_F(RunHistoryTest, BringsOlderFilesToTheNewestLayout) {
  struct Case {
    const char* name;
    bool file;
    std::string setup;
    long long runs_before;
  };
  const Case cases[] = {
      {"no file", false, "", 0},
      {"empty file", true, "", 0},
      {"layout 1", true, kLayout1, 1},
      {"layout 2", true, std::string(kLayout1) + kLayout2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_);
    if (c.file) {
      std::filesystem::create_directories(dir_ / "state");
      std::ofstream(path_).close();
      if (!c.setup.empty()) Exec(path_, c.setup);
    }
    RunHistory history(path_);
    HistoryRun run = SampleRun(1'800'000'000'000);
    ASSERT_TRUE(history.Record(run)) << history.LastError();
    EXPECT_EQ(Scalar(path_, "PRAGMA user_version"), 4);
    EXPECT_EQ(Scalar(path_, "PRAGMA application_id"), RunHistory::kApplicationId);
    EXPECT_EQ(Text(path_, "PRAGMA integrity_check"), "ok");
    const auto runs = history.Recent(10);
    ASSERT_TRUE(runs);
    ASSERT_EQ(static_cast<long long>(runs->size()), c.runs_before + 1);
    EXPECT_EQ(runs->front().servers.size(), 1u);
    if (c.runs_before > 0) {
      const HistoryRun& old = runs->back();
      EXPECT_EQ(old.settings.server, "old");
      EXPECT_EQ(old.banner, "SUCCESS");
      EXPECT_EQ(old.version, "");  // not known before layout 2
      ASSERT_EQ(old.routes.size(), 2u);
      EXPECT_EQ(old.routes[0].score, 3);
      EXPECT_EQ(old.routes[1].outcome, "no_heartbeat");
      EXPECT_EQ(old.routes[1].score, 25);  // a failure keeps its score
      EXPECT_TRUE(old.routes[1].failed);
      EXPECT_TRUE(old.servers.empty());
    }
    if (c.runs_before > 1) {
      // The routes a stop left without a score lose the 25 they were stored with, and
      // keep everything else.
      const HistoryRun& stopped = (*runs)[1];
      ASSERT_EQ(stopped.routes.size(), 3u);
      EXPECT_EQ(stopped.routes[0].score, 1);
      for (const std::size_t i : {1u, 2u}) {
        EXPECT_EQ(stopped.routes[i].score, std::nullopt);
        EXPECT_FALSE(stopped.routes[i].failed);
      }
      EXPECT_EQ(stopped.routes[1].reason, "stopped while waiting for the login reply");
      EXPECT_EQ(stopped.routes[2].OutcomeWords(), "not scored \u2014 not tried \u2014 test stopped");
      EXPECT_EQ(stopped.version, "1.0");
      EXPECT_EQ(stopped.servers.size(), 1u);
      EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM routes WHERE score IS NULL"), 2);
    }
  }
}

// A route's change is told against its last score with the same settings: a run that did
// not score it (stopped, or without a route list) and a run with other settings are passed
// over. The lookup reads an older layout as it is, without changing it, and is indexed.
TEST_F(RunHistoryTest, FindsEachRoutesLastScoreWithTheSameSettings) {
  std::filesystem::create_directories(dir_ / "state");
  Exec(path_, std::string(kLayout1) + kLayout2);
  const RunSettings old{"old", 26880, "A"};
  {
    // Layout 2: the stopped run's r2 and r3 are not scores.
    RunHistory reader(path_);
    const auto previous = reader.PreviousScoresOf(old, {"r1", "r2", "r3", "r9"});
    ASSERT_TRUE(previous) << reader.LastError();
    EXPECT_EQ(previous->at("r1").score, 1);
    EXPECT_EQ(previous->at("r2").score, 25);  // from the first run, which scored it
    EXPECT_EQ(previous->count("r3"), 0u);
    EXPECT_EQ(previous->count("r9"), 0u);
    EXPECT_EQ(Scalar(path_, "PRAGMA user_version"), 2);
  }
  RunHistory history(path_);
  HistoryRun other = SampleRun(1'800'000'000'000, "other");  // r1 scored 0 elsewhere
  HistoryRun listless = SampleRun(1'800'000'010'000, "old");
  listless.routes.clear();
  HistoryRun stopped = SampleRun(1'800'000'020'000, "old");
  stopped.routes[0].score = std::nullopt;
  stopped.routes[0].outcome = "stopped";
  for (HistoryRun* run : {&other, &listless, &stopped}) ASSERT_TRUE(history.Record(*run)) << history.LastError();
  const auto previous = history.PreviousScoresOf(old, {"r1", "r\xff<b>"});
  ASSERT_TRUE(previous) << history.LastError();
  EXPECT_EQ(previous->at("r1").score, 1);
  EXPECT_EQ(previous->at("r\xff<b>").score, 25);
  EXPECT_EQ(previous->at("r\xff<b>").outcome, "login_refused");
  // Found through indexes, never by reading every route ever recorded.
  const std::string plan = Plan(path_,
                                "SELECT r.score FROM routes r JOIN runs u ON u.id=r.run_id WHERE r.name='r1'"
                                " AND r.score IS NOT NULL AND u.server='old' AND u.port=26880 AND u.route_code='A'"
                                " ORDER BY r.run_id DESC LIMIT 1");
  EXPECT_THAT(plan, ::testing::HasSubstr("USING INDEX routes_by_name"));
  EXPECT_THAT(plan, ::testing::Not(::testing::HasSubstr("SCAN")));
}

TEST_F(RunHistoryTest, LeavesAFileOfANewerProgramAlone) {
  std::filesystem::create_directories(dir_ / "state");
  Exec(path_, "CREATE TABLE future(x); PRAGMA user_version=99; PRAGMA application_id=" +
                  std::to_string(RunHistory::kApplicationId));
  RunHistory history(path_);
  HistoryRun run = SampleRun(1);
  EXPECT_FALSE(history.Record(run));
  EXPECT_THAT(history.LastError(), ::testing::HasSubstr("newer program"));
  EXPECT_EQ(Scalar(path_, "PRAGMA user_version"), 99);
  EXPECT_EQ(Scalar(path_, "SELECT count(*) FROM sqlite_master WHERE name='runs'"), 0);
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

// A read neither makes a file nor brings an old one up to date; a missing history is one
// without runs, and says so.
TEST_F(RunHistoryTest, ReadingMakesAndChangesNothing) {
  RunHistory missing(path_);
  EXPECT_EQ(missing.Recent(5)->size(), 0u);
  EXPECT_TRUE(missing.NoFileYet());
  EXPECT_EQ(missing.LastWith(SampleRun(1).settings), std::nullopt);
  EXPECT_EQ(missing.LastError(), "");
  EXPECT_EQ(missing.Count(), 0);
  EXPECT_FALSE(std::filesystem::exists(dir_));

  std::filesystem::create_directories(dir_ / "state");
  Exec(path_, kLayout1);
  const std::string before = Bytes(path_);
  {
    RunHistory old(path_);
    const auto runs = old.Recent(5);
    ASSERT_TRUE(runs) << old.LastError();
    ASSERT_EQ(runs->size(), 1u);
    EXPECT_FALSE(old.NoFileYet());
    EXPECT_EQ((*runs)[0].routes.size(), 2u);
    EXPECT_EQ((*runs)[0].routes[1].outcome, "no_heartbeat");
    EXPECT_EQ(old.LastWith({"old", 26880, "A"})->id, 1);
  }
  EXPECT_EQ(Bytes(path_), before);
  EXPECT_EQ(Scalar(path_, "PRAGMA user_version"), 1);
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
