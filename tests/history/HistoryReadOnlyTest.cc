// Reading never writes: no log or index file made beside the history, the file itself
// unchanged, whether another program has it open, left its log, or writes meanwhile.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "history/HistoryTestFiles.h"
#include "support/ProcessRunner.h"
#include "history/RunHistory.h"

namespace zp {
namespace {

class HistoryReadOnlyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-histro-" + std::to_string(test::CurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "history.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
  }

  std::filesystem::path dir_;
  std::string path_;
};

// Every read the listings and the windows make, in each state another program can leave
// the file in.
TEST_F(HistoryReadOnlyTest, ReadsMakeNoFileBesideTheHistoryAndChangeNone) {
  const auto read_all = [](RunHistory& reader) {
    bool ok = reader.Recent(5).has_value() && reader.Count().has_value() &&
              reader.EachRouteRun("r1", 5, [](const HistoryRun&, const HistoryRoute&) { return true; });
    reader.LastWith(SampleRun(0).settings);
    return ok && reader.LastError().empty();
  };
  {
    RunHistory writer(path_);
    for (int i = 0; i < 3; ++i) {
      HistoryRun run = SampleRun(i);
      ASSERT_TRUE(writer.Record(run)) << writer.LastError();
    }
  }
  ASSERT_EQ(Files(), std::set<std::string>{"history.db"});

  // Closed: read as it stands.
  const std::string before = Bytes(path_);
  RunHistory reader(path_);
  EXPECT_TRUE(read_all(reader)) << reader.LastError();
  EXPECT_EQ(reader.Recent(5)->size(), 3u);
  EXPECT_EQ(Files(), std::set<std::string>{"history.db"});
  EXPECT_TRUE(Bytes(path_) == before) << "the read changed the file";

  // Open in another program, with a run only in its log: read through the log.
  {
    RunHistory writer(path_);
    HistoryRun run = SampleRun(3);
    ASSERT_TRUE(writer.Record(run));
    const std::set<std::string> open = Files();
    ASSERT_EQ(open.count("history.db-wal"), 1u);
    EXPECT_TRUE(read_all(reader)) << reader.LastError();
    EXPECT_EQ(reader.Recent(5)->front().start_utc_ms, 3);
    EXPECT_EQ(Files(), open);
  }

  // A log whose index is gone: SQLite would make the index, so the read refuses.
  {
    RunHistory writer(path_);
    HistoryRun run = SampleRun(4);
    ASSERT_TRUE(writer.Record(run));
    std::filesystem::copy_file(path_ + "-wal", dir_ / "kept-wal");
    std::filesystem::copy_file(path_, dir_ / "kept-db");
  }
  std::filesystem::remove(path_);
  std::filesystem::rename(dir_ / "kept-db", path_);
  std::filesystem::rename(dir_ / "kept-wal", path_ + "-wal");
  const std::set<std::string> orphan = Files();
  EXPECT_EQ(reader.Recent(5), std::nullopt);
  EXPECT_THAT(reader.LastError(), ::testing::HasSubstr("without writing beside it"));
  EXPECT_EQ(Files(), orphan);
}

// A read holds the file as SQLite's readers do: a program that records and closes during
// it cannot fold its log back into the file under the read, and leaves it for the next.
TEST_F(HistoryReadOnlyTest, AWriterClosingDuringAReadLeavesItsLog) {
  {
    RunHistory writer(path_);
    for (int i = 0; i < 3; ++i) {
      HistoryRun run = SampleRun(i);
      ASSERT_TRUE(writer.Record(run)) << writer.LastError();
    }
  }
  const std::string before = Bytes(path_);
  RunHistory reader(path_);
  int seen = 0;
  ASSERT_TRUE(reader.EachRun({}, [&](const HistoryRun&) {
    if (seen++ == 0) {
      test::Program writer({ZP_HISTORY_WRITER, path_, "1", "w"});
      EXPECT_EQ(writer.Finish(30), 0) << writer.err;
      EXPECT_TRUE(std::filesystem::exists(path_ + "-wal"));
      EXPECT_TRUE(Bytes(path_) == before) << "the file changed under the read";
    }
    return true;
  })) << reader.LastError();
  EXPECT_EQ(seen, 3);            // the moment the read began
  EXPECT_EQ(reader.Count(), 4);  // the next read finds the run in the log
}

// Another program recording while the history is read: with one connection for all its
// runs, or one per run as the periodic check does (which folds its log back into the file
// when it closes, unless a reader holds the file). Every read succeeds with whole runs.
TEST_F(HistoryReadOnlyTest, AListingDuringAnotherProgramsWriteStillWorks) {
  for (const char* mode : {"keep", "reopen"}) {
    SCOPED_TRACE(mode);
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    {
      test::Program writer({ZP_HISTORY_WRITER, path_, "0", "w", mode});
      RunHistory reader(path_, 100000);
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
      int reads = 0;
      while (std::chrono::steady_clock::now() < until) {
        const auto runs = reader.Recent(40);
        ASSERT_TRUE(runs || reader.NoFileYet()) << reader.LastError();
        if (!runs) continue;
        for (const HistoryRun& run : *runs) {
          if (run.settings.route_code.empty()) continue;
          ASSERT_EQ(run.routes.size(), std::stoul(run.settings.route_code)) << "run " << run.id;
        }
        ++reads;
      }
      EXPECT_GT(reads, 10);
    }  // the writer is killed
    EXPECT_EQ(Text(path_, "PRAGMA integrity_check"), "ok");
  }
}

}  // namespace
}  // namespace zp
