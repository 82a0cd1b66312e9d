// The history's layout over the versions: older files taken over with their runs, files
// of newer programs and reads left alone, and each route's previous score found through
// the layout's index.
#include "history/HistoryTestFiles.h"

namespace zp {
namespace {

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

}  // namespace
}  // namespace zp
