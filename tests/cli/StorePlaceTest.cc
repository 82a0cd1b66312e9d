// zelvan-probe-cli where the files it keeps and writes would go: another local user's
// folder, or one anyone may change, is refused before anything is read or written; a
// number of runs that would wrap around is a usage error; output lost to a full disk is
// an error for every command. Some cases need a second user and so run only as root (as
// CI does): a DNS cache planted by nobody, and the systemd unit's dynamic user.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "GatewaySimulator.h"
#include "client/DnsCache.h"
#include "platform/Registry.h"
#include "support/ProcessRunner.h"

namespace zp::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

constexpr uid_t kNobody = 65534;
// A user the password database does not know, as systemd's dynamic users are to it.
constexpr uid_t kDynamicUser = 61234;
// A folder other users may enter and read, not change.
constexpr fs::perms kReachable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec;

std::string PortHex(unsigned port) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", port);
  return text;
}

std::string ContentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder of the test's own, private to root or the user running the tests.
class StorePlaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "zp-place-XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A folder under the test's own with `mode`.
  fs::path Folder(const std::string& name, fs::perms mode) {
    const fs::path folder = dir_ / name;
    fs::create_directories(folder);
    fs::permissions(folder, mode);
    return folder;
  }
  // The program with `args`, its environment changed by `env` first ("NAME=value" sets,
  // "-NAME" removes).
  int Cli(const std::vector<std::string>& env, const std::vector<std::string>& args, double seconds = 30) {
    std::vector<std::string> all = {"/usr/bin/env"};
    for (const std::string& e : env) {
      if (e[0] == '-') all.insert(all.end(), {"-u", e.substr(1)});
      else all.push_back(e);
    }
    all.push_back(ZP_CLI_PROGRAM);
    all.insert(all.end(), args.begin(), args.end());
    last_ = std::make_unique<Program>(all);
    return last_->Finish(seconds);
  }

  fs::path dir_;
  std::unique_ptr<Program> last_;
};

TEST_F(StorePlaceTest, AFolderOthersMayChangeIsRefusedBeforeAnythingIsReadOrWritten) {
  const fs::path open = Folder("open", fs::perms::all);
  const fs::path own = Folder("own", fs::perms::owner_all);
  Folder("state/zelvan-probe", fs::perms::all);
  const std::string state = "XDG_STATE_HOME=" + (dir_ / "state").string();
  const std::string open_says = "the folder " + open.string() +
                                " can be written by its group and by other users (mode 0777): refused";
  const std::string dns = (own / "dns.db").string();
  const std::vector<std::string> test = {"--server", "127.0.0.1", "--port", "1", "--timeout", "5"};
  const auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), test.begin(), test.end());
    return args;
  };
  const struct {
    const char* name;
    std::vector<std::string> env;
    std::vector<std::string> args;
    std::string out;  // standard output starts so
    std::string err;  // standard error holds it
  } cases[] = {
      {"the state folder", {state}, with({"--dns-store", dns}), "",
       "the folder " + (dir_ / "state" / "zelvan-probe").string() + " can be written by its group and by other users"},
      {"the state folder, listing", {state}, {"--history"}, "", "the folder " + (dir_ / "state").string()},
      {"the history", {}, with({"--history-db", (open / "h.db").string(), "--dns-store", dns}), "", open_says},
      {"the history, listing", {}, {"--history", "3", "--history-db", (open / "h.db").string()}, "", open_says},
      {"the DNS cache", {}, with({"--no-history", "--dns-store", (open / "d.db").string()}), "", open_says},
      {"the DNS cache, monitoring", {},
       with({"--monitoring", "--no-history", "--dns-store", (open / "d.db").string()}),
       "ZELVAN PROBE UNKNOWN - " + open_says, open_says},
      {"the textfile", {},
       with({"--no-history", "--dns-store", dns, "--prometheus-textfile", (open / "m.prom").string()}), "",
       "--prometheus-textfile: " + open_says},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Cli(c.env, c.args), 3) << last_->out << last_->err;
    EXPECT_THAT(last_->out, StartsWith(c.out));
    EXPECT_THAT(last_->err, HasSubstr(c.err));
    EXPECT_THAT(last_->err, Not(HasSubstr("ExpressT"))) << "no test ran";
  }
  EXPECT_TRUE(fs::is_empty(open)) << "nothing was made there";
  EXPECT_TRUE(fs::is_empty(own));
  EXPECT_TRUE(fs::is_empty(dir_ / "state" / "zelvan-probe"));
}

// --history N as --history-limit reads its number: decimal, 1 to the stated most, nothing
// that would wrap around into another number.
TEST_F(StorePlaceTest, HistoryCountsAreDecimalAndBounded) {
  const std::string db = (dir_ / "history.db").string();
  const struct {
    const char* count;
    int status;
  } cases[] = {{"1", 0},   {"1000000", 0}, {"0", 3},          {"1000001", 3},    {"4294967296", 3},
               {"4294967297", 3}, {"2147483648", 3}, {"0x10", 3}, {"1e3", 3}, {"+5", 3}, {"-1", 3}, {"5 ", 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    EXPECT_EQ(Cli({}, {"--history-db", db, "--history", c.count}), c.status) << last_->err;
    if (c.status == 0) {
      EXPECT_THAT(last_->out, StartsWith("No history yet"));
    } else {
      EXPECT_THAT(last_->err, HasSubstr("is not a number of runs: give 1 to 1000000 in decimal digits"));
      EXPECT_EQ(last_->out, "");
    }
  }
}

// Whatever the command, what it could not write to standard output is an error with its
// message and status 3: the help and the version too.
TEST_F(StorePlaceTest, AWriteErrorOnStandardOutputIsAnErrorForEveryCommand) {
  const std::string db = (dir_ / "history.db").string();
  const std::vector<std::string> commands[] = {
      {"--help"},
      {"--version"},
      {"--history", "--history-db", db},
      {"--history", "--json", "--history-db", db},
      {"--monitoring", "--port", "XYZ"},  // its usage error goes to standard output
  };
  for (const auto& args : commands) {
    SCOPED_TRACE(args[0] + " " + args.back());
    std::vector<std::string> all = {"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full", ZP_CLI_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    Program cli(all);
    EXPECT_EQ(cli.Finish(10), 3);
    EXPECT_THAT(cli.err, HasSubstr("cannot write to standard output: No space left on device\n"));
  }
  EXPECT_FALSE(fs::exists(db));
}

// Writes `host` → `address` into the DNS cache at `store` as nobody would: a process of
// that user, through the program's own store.
bool PlantAsNobody(const fs::path& store, const std::string& host, const std::string& address) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) std::_Exit(2);
    Registry planted(store.string());
    std::_Exit(planted.ReplaceValues(std::string(DnsCache::kRootKey) + "\\" + host,
                                     {{"0", Registry::ValueType::String, address}})
                   ? 0
                   : 1);
  }
  int status = -1;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// What a second local user tried: nobody makes the probe's folder in a shared place first
// and plants an answer for a name DNS does not know, pointing at a gateway of their own;
// root then runs the probe without HOME and XDG_STATE_HOME (a hand-written cron job), or
// points it at that folder. The planted answer is never used and nothing is written there.
TEST_F(StorePlaceTest, ADnsCacheAnotherUserPlantedIsNeverUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: nobody plants the cache and root runs the probe";
  sim::GatewaySimulator planted;
  planted.AddRoute({.name = "planted", .address = "127.0.0.9"});
  const std::uint16_t port = planted.AddRouteServer({.address = "127.0.0.9", .port = 0});
  // A folder like /tmp (everyone may make names in it), and /tmp itself, where the probe
  // used to fall back, when no other run of this test holds it. Planted before the
  // simulator's thread starts: the planting process is forked.
  fs::permissions(dir_, kReachable);
  const fs::path shared = Folder("shared", fs::perms::all | fs::perms::sticky_bit);
  const fs::path store = shared / "zelvan-probe" / "registry.db";
  ASSERT_TRUE(PlantAsNobody(store, "nxhost.invalid", "127.0.0.9"));
  const fs::path tmp_folder = "/tmp/zelvan-probe";
  const bool planted_in_tmp = !fs::exists(tmp_folder) && PlantAsNobody(tmp_folder / "registry.db", "nxhost.invalid",
                                                                        "127.0.0.9");
  planted.Start();
  const std::string store_bytes = ContentOf(store);
  const std::string theirs =
      "the folder " + (shared / "zelvan-probe").string() + " belongs to nobody (uid 65534), not to root";
  // Without an address the probe waits 20 s before it asks again: the time-out ends it
  // once the cache has been looked at.
  const std::vector<std::string> test = {"--server", "nxhost.invalid", "--port", PortHex(port), "--timeout", "2"};
  const auto with = [&](std::vector<std::string> args) {
    args.insert(args.end(), test.begin(), test.end());
    return args;
  };
  const struct {
    const char* name;
    std::vector<std::string> env;
    std::vector<std::string> args;
    std::string err;  // empty: the test runs, without the planted answer
  } cases[] = {
      {"the folder as the state folder", {"XDG_STATE_HOME=" + shared.string()}, with({}), theirs},
      {"the store named", {}, with({"--no-history", "--dns-store", store.string()}), theirs},
      {"a history beside it", {}, with({"--history-db", (shared / "zelvan-probe" / "history.db").string()}), theirs},
      // Without the variables the state folder is root's own: the name is not found.
      {"no home in the environment", {"-HOME", "-XDG_STATE_HOME"}, with({"--no-history"}), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Cli(c.env, c.args), 3);
    EXPECT_THAT(last_->out, Not(HasSubstr("Found 1 cached DNS entries")));
    EXPECT_THAT(last_->out, Not(HasSubstr("127.0.0.9")));
    if (c.err.empty()) {
      EXPECT_THAT(last_->out, HasSubstr("DNS lookup failed - Looking for cached DNS entries in registry"));
      EXPECT_THAT(last_->err, StartsWith("Timed out after 2 s"));
    } else {
      EXPECT_THAT(last_->err, HasSubstr(c.err));
    }
  }
  EXPECT_EQ(planted.ServerStats(0).connections, 0) << "the planted gateway was asked";
  EXPECT_EQ(ContentOf(store), store_bytes);
  EXPECT_FALSE(fs::exists(shared / "zelvan-probe" / "history.db"));
  if (planted_in_tmp) fs::remove_all(tmp_folder);
}

// The shipped unit's layout: DynamicUser= with StateDirectory= gives the service a user
// the password database does not know, and /var/lib/zelvan-probe is a link into
// /var/lib/private (root's, entered only by root on the host; the unit reaches its own
// folder through it), to a folder of that user's. The probe keeps its history and DNS
// cache there and writes its textfile beside them, as the unit's command line does.
TEST_F(StorePlaceTest, TheServicesStateDirectoryOfADynamicUserKeepsItsRuns) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run the probe as a dynamic user (uid 61234)";
  sim::GatewaySimulator sim;
  sim.AddRoute({.name = "r1"});
  const std::uint16_t port = sim.AddRouteServer({.port = 0});
  sim.Start();
  const fs::perms reachable = kReachable;
  fs::permissions(dir_, reachable);
  const fs::path lib = Folder("var/lib", reachable);
  const fs::path own = Folder("var/lib/private/zelvan-probe", reachable);
  fs::permissions(lib / "private", reachable);
  ASSERT_EQ(chown(own.c_str(), kDynamicUser, kDynamicUser), 0);
  fs::create_directory_symlink("private/zelvan-probe", lib / "zelvan-probe");
  const std::vector<std::string> as_service = {
      "-HOME", "XDG_STATE_HOME=" + lib.string(), "/usr/bin/setpriv", "--reuid=" + std::to_string(kDynamicUser),
      "--regid=" + std::to_string(kDynamicUser), "--clear-groups", "--"};
  // env runs setpriv, which runs the probe.
  const auto run = [&](std::vector<std::string> args) {
    std::vector<std::string> env = as_service;
    env.push_back(ZP_CLI_PROGRAM);
    env.insert(env.end(), args.begin(), args.end());
    std::vector<std::string> all = {"/usr/bin/env"};
    for (const std::string& e : env) {
      if (e[0] == '-' && e[1] != '-') all.insert(all.end(), {"-u", e.substr(1)});
      else all.push_back(e);
    }
    last_ = std::make_unique<Program>(all);
    return last_->Finish(60);
  };
  EXPECT_EQ(run({"--monitoring", "--server", "localhost", "--port", PortHex(port), "--prometheus-textfile",
                 (lib / "zelvan-probe" / "zelvan-probe.prom").string(), "--metric-label", "site=here"}),
            0)
      << last_->out << last_->err;
  EXPECT_THAT(last_->out, StartsWith("ZELVAN PROBE OK - SUCCESS"));
  EXPECT_EQ(last_->err, "");
  for (const char* name : {"history.db", "registry.db", "zelvan-probe.prom"}) {
    struct stat file {};
    EXPECT_EQ(stat((own / name).c_str(), &file), 0) << name;
    EXPECT_EQ(file.st_uid, kDynamicUser) << name;
  }
  EXPECT_EQ(run({"--history"}), 0) << last_->err;
  EXPECT_THAT(last_->out, HasSubstr("SUCCESS             0 of 1 routes failed"));
}

}  // namespace
}  // namespace zp::test
