// zelvan-probe-cli over a history written through the history's own code: the whole of it
// as one streamed document or as rows for a spreadsheet, pruning by age, and listings
// that write nothing, even for a user who may not write the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "history/RunHistory.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

using ::testing::HasSubstr;

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Run `i`: two routes, the second named by a peer that wants a spreadsheet to act on it;
// every fifth run has no route list.
HistoryRun ListedRun(long long i, long long start_ms) {
  HistoryRun run;
  run.start_utc_ms = start_ms;
  run.settings = {"127.0.0.1", 0x6900, "A"};
  run.banner = "SOME ROUTES FAILED";
  run.result_code = 2;
  run.elapsed_seconds = 1.5;
  run.key_outcome = "received";
  run.version = "1.0";
  if (i % 5 != 4) {
    run.routes = {{"r1=127.0.0.1:7000", "r1", static_cast<std::int32_t>(i % 3), false, 0.25, "scored",
                   "all 25 detail records arrived"},
                  {"=cmd|' /C calc'!A0,\"x\"=10.0.0.2:7000", "=cmd|' /C calc'!A0,\"x\"\xff", 25, true, 0.5,
                   "login_refused", "login refused: NO"}};
  }
  run.servers = {{"127.0.0.1", "127.0.0.1", 0x6900, "answered"}};
  return run;
}

class HistoryListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-clilist-" + std::to_string(CurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::permissions(dir_, std::filesystem::perms(0755));
    db_ = (dir_ / "history.db").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Fill(int runs, long long first_start_ms, long long step_ms) {
    RunHistory history(db_);
    for (int i = 0; i < runs; ++i) {
      HistoryRun run = ListedRun(i, first_start_ms + i * step_ms);
      ASSERT_TRUE(history.Record(run)) << history.LastError();
    }
  }
  int Cli(std::vector<std::string> args, std::vector<std::string> before = {}) {
    before.push_back(ZP_CLI_PROGRAM);
    before.insert(before.end(), {"--history-db", db_});
    before.insert(before.end(), args.begin(), args.end());
    last_ = std::make_unique<Program>(before);
    return last_->Finish(60);
  }
  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
  }

  std::filesystem::path dir_;
  std::string db_;
  std::unique_ptr<Program> last_;
};

// The document is written run by run, and reads as the one document a whole dump would be:
// the same bytes, indentation and all.
TEST_F(HistoryListingTest, TheWholeHistoryStreamsAsOneDocument) {
  Fill(30, 1'800'000'000'000, 300'000);
  ASSERT_EQ(Cli({"--history", "1000", "--json"}), 0) << last_->err;
  const auto doc = nlohmann::json::parse(last_->out);
  EXPECT_EQ(doc.dump(2) + "\n", last_->out);
  ASSERT_EQ(doc["runs"].size(), 30u);
  EXPECT_EQ(doc["runs"][0]["id"], 30);
  EXPECT_EQ(doc["runs"][29]["id"], 1);
  EXPECT_EQ(doc["runs"][0]["routes"].size(), 0u);
  EXPECT_EQ(doc["runs"][1]["routes"][1]["name"], "=cmd|' /C calc'!A0,\"x\"\xEF\xBF\xBD");
  ASSERT_EQ(Cli({"--history", "2", "--json"}), 0);
  EXPECT_EQ(nlohmann::json::parse(last_->out)["runs"].size(), 2u);
}

// One row per run and route, as a spreadsheet's reader takes it: Python's csv module reads
// the rows back, a peer's text stays text (quoted, with an apostrophe before a formula).
TEST_F(HistoryListingTest, CommaSeparatedRowsPerRunAndRoute) {
  Fill(5, 1'800'000'000'000, 300'000);
  ASSERT_EQ(Cli({"--history", "5", "--csv"}), 0) << last_->err;
  EXPECT_THAT(last_->out, HasSubstr("\r\n"));
  const std::string path = (dir_ / "runs.csv").string();
  {
    std::ofstream(path, std::ios::binary) << last_->out;
  }
  Program py({"/usr/bin/python3", "-c",
              "import csv, json, sys\n"
              "print(json.dumps(list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))))\n",
              path});
  ASSERT_EQ(py.Finish(30), 0) << py.err;
  const auto rows = nlohmann::json::parse(py.out);
  ASSERT_EQ(rows.size(), 1u + 1u + 4u * 2u);  // the header, run 5 without routes, four runs of two
  EXPECT_EQ(rows[0][0], "run");
  EXPECT_EQ(rows[0].size(), 18u);
  EXPECT_EQ(rows[1][0], "5");
  EXPECT_EQ(rows[1][11], "");
  EXPECT_EQ(rows[2][11], "r1");
  EXPECT_EQ(rows[3][11], "'=cmd|' /C calc'!A0,\"x\"\\xFF");
  EXPECT_EQ(rows[3][13], "25");
  EXPECT_EQ(rows[3][14], "yes");
  for (const auto& row : rows) EXPECT_EQ(row.size(), 18u);
  EXPECT_EQ(Cli({"--csv"}), 3);  // rows of what? only with --history
  EXPECT_EQ(Cli({"--history", "--csv", "--json"}), 3);
}

// By age: the runs started more than DAYS days ago go; the count is said; a missing history
// stays missing; an age is whole days in decimal digits.
TEST_F(HistoryListingTest, PruneDropsRunsOlderThanDays) {
  const long long day = 24LL * 3600 * 1000;
  Fill(6, NowMs() - 5 * day - 60'000, day);  // 5 days and a minute ago, then a day apart
  ASSERT_EQ(Cli({"--history-prune", "--older-than", "3"}), 0) << last_->err;
  EXPECT_THAT(last_->out, ::testing::MatchesRegex("Removed 3 runs started before ....-..-..T..:..:..Z from .*\n"));
  ASSERT_EQ(Cli({"--history", "--json"}), 0);
  EXPECT_EQ(nlohmann::json::parse(last_->out)["runs"].size(), 3u);
  const struct {
    std::vector<std::string> args;
    int status;
  } refused[] = {
      {{"--history-prune"}, 3},
      {{"--history-prune", "--older-than", "0"}, 3},
      {{"--history-prune", "--older-than", "0x10"}, 3},
      {{"--history-prune", "--older-than", "36501"}, 3},
      {{"--history-prune", "--older-than", "-1"}, 3},
      {{"--older-than", "3"}, 3},
      {{"--history-prune", "--older-than", "3", "--history"}, 3},
      {{"--history-max-age", "0", "--no-history"}, 3},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.args.back());
    EXPECT_EQ(Cli(c.args), c.status) << last_->out;
  }
  db_ = (dir_ / "missing" / "history.db").string();
  ASSERT_EQ(Cli({"--history-prune", "--older-than", "3"}), 0) << last_->err;
  EXPECT_THAT(last_->out, HasSubstr("No history yet"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
}

// Every listing leaves the folder as it found it, for the owner and for another user who
// may read the history but not write beside it (run as root, as CI does).
TEST_F(HistoryListingTest, ListingsWriteNothingForAnyReader) {
  Fill(3, 1'800'000'000'000, 300'000);
  const std::set<std::string> files = Files();
  ASSERT_EQ(files, std::set<std::string>{"history.db"});
  std::vector<std::vector<std::string>> as = {{}};
  if (geteuid() == 0) as.push_back({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  for (const auto& user : as) {
    SCOPED_TRACE(user.empty() ? "owner" : "nobody");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--history"}, {"--history-route", "r1"}, {"--history", "--json"}, {"--history", "--csv"}}) {
      SCOPED_TRACE(args.back());
      EXPECT_EQ(Cli(args, user), 0) << last_->err;
      EXPECT_THAT(last_->out, HasSubstr("2027-01-15T08:10:00Z"));
      EXPECT_EQ(Files(), files);
    }
  }
  // While the owner's program has it open, with a run only in its log, and the log's
  // index is the owner's to write: read through them, as they are.
  RunHistory writer(db_);
  HistoryRun run = ListedRun(3, 1'800'000'900'000);
  ASSERT_TRUE(writer.Record(run)) << writer.LastError();
  const std::set<std::string> open = Files();
  for (const auto& user : as) {
    SCOPED_TRACE(user.empty() ? "owner, open" : "nobody, open");
    EXPECT_EQ(Cli({"--history", "--json"}, user), 0) << last_->err;
    EXPECT_EQ(nlohmann::json::parse(last_->out)["runs"].size(), 4u);
    EXPECT_EQ(Files(), open);
  }
}

}  // namespace
}  // namespace zp::test
