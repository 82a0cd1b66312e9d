// zelvan-probe-cli's history and report, end to end: real runs against the simulator
// program record themselves; --history and --history-route read them back in both
// forms (the JSON checked by a real validator), --report writes a page a real HTML
// parser reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Runs started by these tests without a history file of their own record into a state
// folder of the build, never into the user's.
const bool kOwnStateHome = [] { return setenv("XDG_STATE_HOME", ZP_TEST_STATE_HOME, 1) == 0; }();

class HistoryCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(kOwnStateHome);
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-clihist-" + std::to_string(CurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    db_ = (dir_ / "history.db").string();
  }
  void TearDown() override {
    StopSim();
    std::filesystem::remove_all(dir_);
  }

  // A simulator with one route server (on the same port each time once chosen) and routes r1, r2, r3.
  void StartSim(const std::string& r2_options) {
    StopSim();
    sim_ = std::make_unique<Program>(std::vector<std::string>{
        ZP_SIM_PROGRAM, "--route-server", "127.0.0.1:" + std::to_string(port_), "--route", "r1", "--route",
        "r2 " + r2_options, "--route", "r3"});
    const std::string ready = sim_->Line();
    ASSERT_THAT(ready, StartsWith("READY route-server=127.0.0.1:"));
    port_ = std::stoi(ready.substr(ready.find(':') + 1));
  }
  void StopSim() {
    if (!sim_) return;
    sim_->Stop();
    sim_->Finish(5);
    sim_.reset();
  }

  // The console program with `args`, reading and writing the test's own history.
  int Cli(std::vector<std::string> args, double seconds = 15) {
    char port[16];
    std::snprintf(port, sizeof port, "%X", static_cast<unsigned>(port_));
    std::vector<std::string> all = {ZP_CLI_PROGRAM, "--history-db", db_, "--dns-store", (dir_ / "dns.db").string()};
    if (std::find(args.begin(), args.end(), "--history") == args.end() &&
        std::find(args.begin(), args.end(), "--history-route") == args.end()) {
      all.insert(all.end(), {"--server", "127.0.0.1", "--port", port});
    }
    all.insert(all.end(), args.begin(), args.end());
    last_ = std::make_unique<Program>(all);
    return last_->Finish(seconds);
  }

  // Runs a small Python program on `input`; its standard output.
  std::string Python(const std::string& code, const std::string& input, const std::string& arg = "") {
    const auto path = dir_ / ("input-" + std::to_string(inputs_++));
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs(input.c_str(), f);
    std::fclose(f);
    Program py({"/usr/bin/python3", "-c", code, path.string(), arg});
    EXPECT_EQ(py.Finish(30), 0) << py.err << input;
    return py.out;
  }
  void ExpectValid(const std::string& document) {
    Python("import json, sys, jsonschema\n"
           "schema = json.load(open(sys.argv[2]))\n"
           "jsonschema.Draft202012Validator.check_schema(schema)\n"
           "jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[1])))\n",
           document, ZP_HISTORY_SCHEMA);
  }

  std::filesystem::path dir_;
  std::string db_;
  std::unique_ptr<Program> sim_, last_;
  int port_ = 0;
  int inputs_ = 0;
};

TEST_F(HistoryCliTest, RecordsEveryRunAndShowsHistoryTrendAndReport) {
  StartSim("");
  ASSERT_EQ(Cli({"--monitoring"}), 0) << last_->err;
  StartSim("fault=refused");
  ASSERT_EQ(Cli({"--monitoring"}), 1) << last_->err;
  // A report whose folder does not exist is refused before any test: nothing is recorded.
  EXPECT_EQ(Cli({"--monitoring", "--report", (dir_ / "missing" / "r.html").string()}), 3);
  EXPECT_THAT(last_->out, StartsWith("ZELVAN PROBE UNKNOWN - usage error: --report: no such folder: "));

  ASSERT_EQ(Cli({"--history"}), 0) << last_->err;
  const auto lines = Lines(last_->out);
  ASSERT_EQ(lines.size(), 2u) << last_->out;
  EXPECT_THAT(lines[0], ::testing::MatchesRegex("....-..-..T..:..:..Z  SOME ROUTES FAILED  1 of 3 routes failed: r2  .*"));
  EXPECT_THAT(lines[1], ::testing::MatchesRegex("....-..-..T..:..:..Z  SUCCESS             0 of 3 routes failed  .*"));
  ASSERT_EQ(Cli({"--history", "1"}), 0);
  EXPECT_EQ(Lines(last_->out), std::vector<std::string>{lines[0]});

  ASSERT_EQ(Cli({"--history", "5", "--json"}), 0) << last_->err;
  ExpectValid(last_->out);
  const auto doc = nlohmann::json::parse(last_->out);
  ASSERT_EQ(doc["runs"].size(), 2u);
  EXPECT_GT(doc["runs"][0]["id"], doc["runs"][1]["id"]);
  EXPECT_EQ(doc["runs"][0]["failed_routes"], nlohmann::json::array({"r2"}));
  EXPECT_EQ(doc["runs"][0]["routes"][1]["reason"], "refused the connection");
  EXPECT_EQ(doc["runs"][1]["banner"], "SUCCESS");
  EXPECT_EQ(doc["runs"][1]["key_outcome"], "received");
  EXPECT_EQ(doc["runs"][1]["routes"].size(), 3u);
  Program version({ZP_CLI_PROGRAM, "--version"});
  version.Finish(5);
  EXPECT_EQ("zelvan-probe-cli " + doc["runs"][0]["version"].get<std::string>() + "\n", version.out);

  ASSERT_EQ(Cli({"--history-route", "r2"}), 0) << last_->err;
  const auto trend = Lines(last_->out);
  ASSERT_EQ(trend.size(), 3u) << last_->out;
  EXPECT_EQ(trend[0], "Route r2, newest first:");
  EXPECT_THAT(trend[1], HasSubstr("score  25"));
  EXPECT_THAT(trend[1], HasSubstr("connect_failed  refused the connection"));
  EXPECT_THAT(trend[2], HasSubstr("score   0"));
  ASSERT_EQ(Cli({"--history-route", "r2", "--json"}), 0);
  ExpectValid(last_->out);
  const auto route = nlohmann::json::parse(last_->out);
  EXPECT_EQ(route["route"], "r2");
  ASSERT_EQ(route["runs"].size(), 2u);
  EXPECT_EQ(route["runs"][0]["score"], 25);
  EXPECT_EQ(route["runs"][1]["score"], 0);
  EXPECT_EQ(route["runs"][1]["banner"], "SUCCESS");
  ASSERT_EQ(Cli({"--history-route", "r9"}), 0);
  EXPECT_EQ(last_->out, "No recorded run has route r9.\n");

  // A third run under a bound of two keeps the newest two; its report shows the trend.
  const std::string report = (dir_ / "report.html").string();
  ASSERT_EQ(Cli({"--history-limit", "2", "--report", report}), 1) << last_->err;
  ASSERT_EQ(Cli({"--history", "--json"}), 0);
  EXPECT_EQ(nlohmann::json::parse(last_->out)["runs"].size(), 2u);
  Program check({"/usr/bin/python3", ZP_HTML_CHECK, report});
  ASSERT_EQ(check.Finish(30), 0) << check.err;
  const auto page = nlohmann::json::parse(check.out);
  EXPECT_TRUE(page["outside"].empty());
  EXPECT_EQ(page["banner"], "S O M E   R O U T E S   F A I L E D");
  ASSERT_EQ(page["routes"].size(), 4u);
  EXPECT_EQ(page["routes"][2][0], "r2");
  EXPECT_EQ(page["routes"][2][5], "same");
  EXPECT_EQ(page["routes"][2][6], "25 25");  // the run the bound dropped is not in the trend
  EXPECT_EQ(page["svg"], nlohmann::json::array({3, 3}));
  EXPECT_THAT(page["trace"].get<std::string>(), HasSubstr("Profiling Complete"));
}

TEST_F(HistoryCliTest, ListingNeedsNoTestAndSaysWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* out;
    const char* err;
  };
  std::filesystem::create_directories(dir_ / "a-folder");
  const Case cases[] = {
      {{"--history"}, 0, "No history yet: nothing has been recorded in ", ""},
      {{"--history", "--json"}, 0, "{\n  \"runs\": []\n}\n", ""},
      {{"--history", "0"}, 3, "", "--history"},
      {{"--history", "--monitoring"}, 3, "UNKNOWN - usage error", ""},
      {{"--history-db", (dir_ / "a-folder").string(), "--history"}, 3, "", "cannot open"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    std::vector<std::string> args = {ZP_CLI_PROGRAM};
    if (c.args[0] != "--history-db") args.insert(args.end(), {"--history-db", db_});
    args.insert(args.end(), c.args.begin(), c.args.end());
    Program cli(args);
    EXPECT_EQ(cli.Finish(10), c.status) << cli.out << cli.err;
    EXPECT_THAT(cli.out, HasSubstr(c.out));
    EXPECT_THAT(cli.err, HasSubstr(c.err));
  }
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs `sql` on the file directly, as another program would.
std::string Sql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
    sqlite3_exec(
        db, sql.c_str(),
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) += values[0] != nullptr ? values[0] : "";
          return 0;
        },
        &result, nullptr);
  }
  sqlite3_close(db);
  return result;
}

// What the listings make of a history that is not there, not this program's or damaged:
// "no history yet" (making nothing), or an error naming what is wrong, with status 3 and
// the file as it was; never runs without their routes.
TEST_F(HistoryCliTest, MissingForeignAndDamagedHistories) {
  // A recorded run of three routes, whose routes' first page is then overwritten.
  StartSim("");
  const std::string damaged = (dir_ / "damaged.db").string();
  db_ = damaged;
  ASSERT_EQ(Cli({"--monitoring"}), 0) << last_->err;
  const long long page = std::stoll(Sql(damaged, "PRAGMA page_size"));
  const long long root = std::stoll(Sql(damaged, "SELECT rootpage FROM sqlite_master WHERE name='routes'"));
  {
    std::fstream file(damaged, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp((root - 1) * page);
    const std::string garbage(static_cast<std::size_t>(page), '\x5A');
    file.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
  }
  const std::string foreign = (dir_ / "notes.db").string();
  Sql(foreign, "CREATE TABLE notes(x); INSERT INTO notes VALUES('keep');");
  const std::string missing = (dir_ / "missing" / "history.db").string();

  const struct {
    std::string db;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
  } cases[] = {
      {missing, {"--history"}, 0, "No history yet: nothing has been recorded in " + missing + ".\n", ""},
      {missing, {"--history-route", "r1"}, 0, "No history yet: nothing has been recorded in " + missing + ".\n", ""},
      {missing, {"--history", "--json"}, 0, "{\n  \"runs\": []\n}\n", ""},
      {foreign, {"--history"}, 3, "", "history: " + foreign + " is not a run history of this program, so it is left "
                                      "as it is: it holds other tables: notes\n"},
      {foreign, {"--history-route", "r1"}, 3, "", "is not a run history of this program"},
      {damaged, {"--history"}, 3, "", "history: "},
      {damaged, {"--history-route", "r1"}, 3, "", "history: "},
  };
  const std::string foreign_bytes = FileBytes(foreign);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.db + " " + c.args[0]);
    db_ = c.db;
    EXPECT_EQ(Cli(c.args), c.status) << last_->out << last_->err;
    EXPECT_EQ(last_->out, c.out);
    EXPECT_THAT(last_->err, HasSubstr(c.err));
  }
  EXPECT_THAT(last_->err, ::testing::AnyOf(HasSubstr(" is damaged: "), HasSubstr("malformed")));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "missing"));
  // A run given the foreign file is not recorded there, says why, and changes nothing.
  db_ = foreign;
  EXPECT_EQ(Cli({"--monitoring"}), 0);
  EXPECT_THAT(last_->err, HasSubstr("warning: the run was not recorded in the history: " + foreign +
                                    " is not a run history of this program"));
  EXPECT_EQ(FileBytes(foreign), foreign_bytes);
}

// Another program holding a store (the history, the DNS cache): the wait for it counts
// against --timeout. A run that could not be recorded in time says so on standard error and
// in the monitoring lines.
TEST_F(HistoryCliTest, AStoreHeldByAnotherWriterDoesNotOutlastTheTimeOut) {
  // r2 keeps its login waiting: the time-out stops the run.
  StartSim("fault=silent");
  char port[16];
  std::snprintf(port, sizeof port, "%X", static_cast<unsigned>(port_));
  const std::string dns = (dir_ / "dns.db").string();
  // The history and the DNS cache made by a first run that resolves a name; both are
  // written at the store's own pace.
  Program first({ZP_CLI_PROGRAM, "--history-db", db_, "--dns-store", dns, "--server", "localhost", "--port", port,
                 "--monitoring", "--timeout", "1"});
  ASSERT_EQ(first.Finish(30), 3) << first.err;
  ASSERT_EQ(Sql(dns, "SELECT count(*) FROM reg_values"), "1") << first.out;
  // The stopped run lists as stopped, not as a run where nothing failed.
  Program listed({ZP_CLI_PROGRAM, "--history-db", db_, "--history"});
  ASSERT_EQ(listed.Finish(30), 0) << listed.err;
  EXPECT_THAT(listed.out, ::testing::MatchesRegex("....-..-..T..:..:..Z  STOPPED  +0 of 3 routes failed; stopped, [1-3] not scored .*\n"));
  const struct {
    const char* name;
    std::string held;
    const char* timeout;
    const char* not_recorded;  // the last monitoring line, when the history was held
  } cases[] = {
      {"the history", db_, "2", "not recorded in the history: cannot write to %s: database is locked"},
      // Its wait (five seconds) ends with the stop.
      {"the DNS cache", dns, "3", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(c.held.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto t0 = std::chrono::steady_clock::now();
    Program cli({ZP_CLI_PROGRAM, "--history-db", db_, "--dns-store", dns, "--server", "localhost", "--port", port,
                 "--monitoring", "--timeout", c.timeout});
    EXPECT_EQ(cli.Finish(30), 3);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    // The stores' own waits are ten and five seconds; give the stop and a busy machine three.
    EXPECT_LT(took, std::stod(c.timeout) + 3);
    const auto lines = Lines(cli.out);
    ASSERT_FALSE(lines.empty()) << cli.out;
    EXPECT_THAT(lines[0], StartsWith("ZELVAN PROBE UNKNOWN - timed out after "));
    if (c.not_recorded == nullptr) {
      EXPECT_EQ(cli.err, "");
      continue;
    }
    char line[512];
    std::snprintf(line, sizeof line, c.not_recorded, db_.c_str());
    EXPECT_EQ(lines.back(), line);
    EXPECT_EQ(cli.err, "warning: the run was not recorded in the history: cannot write to " + db_ +
                           ": database is locked\n");
  }
  // The first run and the one the DNS cache held up.
  ASSERT_EQ(Cli({"--history", "--json"}), 0);
  EXPECT_EQ(nlohmann::json::parse(last_->out)["runs"].size(), 2u);
}

// A write error on standard output, a full disk or a closed pipe, is an error of its own
// with its message, after the run was recorded.
TEST_F(HistoryCliTest, AWriteErrorOnStandardOutputIsAnError) {
  StartSim("");
  char port[16];
  std::snprintf(port, sizeof port, "%X", static_cast<unsigned>(port_));
  const struct {
    const char* name;
    const char* shell;  // runs the program with its arguments
    const char* says;
  } cases[] = {
      {"a full disk", "\"$0\" \"$@\" > /dev/full", "No space left on device"},
      {"a closed pipe", "\"$0\" \"$@\" | head -c 1 > /dev/null; exit ${PIPESTATUS[0]}", "Broken pipe"},
  };
  int recorded = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Program cli({"/bin/bash", "-c", c.shell, ZP_CLI_PROGRAM, "--history-db", db_, "--dns-store",
                 (dir_ / "dns.db").string(), "--server", "127.0.0.1", "--port", port});
    EXPECT_EQ(cli.Finish(30), 3);
    EXPECT_EQ(cli.err, std::string("cannot write to standard output: ") + c.says + "\n");
    ++recorded;
    ASSERT_EQ(Cli({"--history", "--json"}), 0);
    EXPECT_EQ(nlohmann::json::parse(last_->out)["runs"].size(), static_cast<std::size_t>(recorded));
  }
}

}  // namespace
}  // namespace zp::test
