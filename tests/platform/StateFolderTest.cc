#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/StateFolder.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

// Where the program keeps its stores, and the folders a store makes on its first write.
namespace zp {
namespace {

namespace fs = std::filesystem;

class StateFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FRoot = fs::temp_directory_path() /
            ("zp-state-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(FRoot);
  }
  void TearDown() override { fs::remove_all(FRoot); }
  fs::path FRoot;
};

TEST_F(StateFolderTest, MakesEveryMissingFolderAboveAFileButNotTheFile) {
  const fs::path file = FRoot / "a" / "b" / "store.db";
  EXPECT_TRUE(MakeFolderFor(file.string()));
  EXPECT_TRUE(fs::is_directory(file.parent_path()));
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(MakeFolderFor(file.string())) << "a folder that is there already will do";
  EXPECT_TRUE(MakeFolderFor("store.db")) << "a bare file name needs no folder";
#ifndef _WIN32
  // The stores hold what a user's probes found: only that user reads them.
  EXPECT_EQ(fs::status(FRoot / "a").permissions() & fs::perms::all, fs::perms::owner_all);
#endif
}

TEST_F(StateFolderTest, AFileInTheWayIsAFailure) {
  fs::create_directories(FRoot);
  std::FILE* plain = std::fopen((FRoot / "plain").string().c_str(), "w");
  ASSERT_NE(plain, nullptr);
  std::fclose(plain);
  EXPECT_FALSE(MakeFolderFor((FRoot / "plain" / "sub" / "store.db").string()));
  EXPECT_FALSE(MakeFolderFor((FRoot / "plain" / "store.db").string())) << "the file itself is no folder";
}

#ifdef _WIN32
TEST(StateFolderPlaceTest, IsTheUsersLocalApplicationData) {
  const char* local = std::getenv("LOCALAPPDATA");
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(StateFolder(), std::string(local) + "\\Zelvan Probe");
  EXPECT_EQ(StateFile("history.db"), StateFolder() + "\\history.db");
}
#else
// The environment as one case sets it, restored afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    if (value != nullptr) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedVariable() {
    if (FOld) setenv(FName, FOld->c_str(), 1);
    else unsetenv(FName);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

TEST(StateFolderPlaceTest, FollowsTheBaseDirectoryVariablesThenThePasswordDatabase) {
  const passwd* me = getpwuid(geteuid());
  ASSERT_NE(me, nullptr);
  const std::string own = std::string(me->pw_dir) + "/.local/state/zelvan-probe";
  const struct {
    const char* state;
    const char* home;
    std::string folder;
  } cases[] = {
      {"/srv/state", "/home/op", "/srv/state/zelvan-probe"},
      {"relative/state", "/home/op", "/home/op/.local/state/zelvan-probe"},  // only absolute paths count
      {nullptr, "/home/op", "/home/op/.local/state/zelvan-probe"},
      // A cron job or a unit without a home: the user's own, never a shared folder.
      {nullptr, "", own},
      {"relative/state", nullptr, own},
  };
  for (const auto& c : cases) {
    ScopedVariable state("XDG_STATE_HOME", c.state);
    ScopedVariable home("HOME", c.home);
    EXPECT_EQ(StateFolder(), c.folder);
    EXPECT_EQ(StateFile("registry.db"), c.folder + "/registry.db");
  }
}

// nobody's home is /nonexistent: without the variables there is no state folder at all.
TEST(StateFolderPlaceTest, AUserWithoutAHomeHasNone) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to run as nobody (uid 65534)";
  EXPECT_EXIT(
      {
        unsetenv("XDG_STATE_HOME");
        unsetenv("HOME");
        if (setgid(65534) != 0 || setuid(65534) != 0) std::_Exit(2);
        const bool none = StateFolder().empty() && StateFile("history.db").empty();
        std::_Exit(none && NoStateFolderText().find("user 65534") != std::string::npos ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
}  // namespace zp
