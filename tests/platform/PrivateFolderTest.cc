#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/PrivateFolder.h"
#include "platform/StateFolder.h"

#ifndef _WIN32
#include <unistd.h>
#endif

// Which folders may hold what the program keeps: the user's own, never one another user
// may change.
namespace zp {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class PrivateFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Other checkouts may run the same tests at the same moment.
    FRoot = fs::temp_directory_path() / ("zp-private-" + std::to_string(std::random_device{}()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FRoot);
    fs::create_directories(FRoot);
    fs::permissions(FRoot, fs::perms::owner_all);
  }
  void TearDown() override { fs::remove_all(FRoot); }
  fs::path FRoot;
};

TEST_F(PrivateFolderTest, AMissingFolderIsNoProblemAndAFileIsNoFolder) {
  EXPECT_EQ(FolderProblem((FRoot / "not-yet").string()), "");
  EXPECT_EQ(FolderProblemFor((FRoot / "not-yet" / "history.db").string()), "");
  EXPECT_EQ(FolderProblemFor((FRoot / "history.db").string()), "") << "the user's own folder";
  std::ofstream((FRoot / "plain").string()) << "x";
  EXPECT_THAT(FolderProblem((FRoot / "plain").string()), HasSubstr("is not a folder"));
  EXPECT_THAT(StorePlaceProblem(""), HasSubstr("no state folder"));
}

#ifndef _WIN32
// The folder's mode, as another user could use it.
TEST_F(PrivateFolderTest, AFolderOthersMayWriteIsRefusedNamingItAndTheMode) {
  const struct {
    fs::perms mode;
    const char* problem;  // empty: accepted
  } cases[] = {
      {fs::perms::owner_all, ""},
      {fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
           fs::perms::others_exec,
       ""},
      {fs::perms::owner_all | fs::perms::group_all, "can be written by its group (mode 0770)"},
      {fs::perms::owner_all | fs::perms::others_write | fs::perms::others_exec, "can be written by other users (mode 0703)"},
      // /tmp itself: sticky, but anyone may make the name first.
      {fs::perms::all | fs::perms::sticky_bit, "can be written by its group and by other users (mode 1777)"},
  };
  const fs::path folder = FRoot / "store";
  fs::create_directory(folder);
  for (const auto& c : cases) {
    fs::permissions(folder, c.mode);
    const std::string problem = FolderProblemFor((folder / "registry.db").string());
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_THAT(problem, HasSubstr("the folder " + folder.string() + " " + c.problem));
    }
  }
}

// What systemd makes of StateDirectory= for a DynamicUser= service: the state folder is a
// link into a private folder that only root may enter, and the folder it leads to belongs
// to the service's user.
TEST_F(PrivateFolderTest, TheStateDirectoryOfADynamicUserIsAccepted) {
  const fs::path lib = FRoot / "var" / "lib";
  fs::create_directories(lib / "private" / "zelvan-probe");
  fs::permissions(lib / "private", fs::perms::owner_all);
  fs::permissions(lib / "private" / "zelvan-probe", fs::perms::owner_all | fs::perms::group_read |
                                                         fs::perms::group_exec | fs::perms::others_read |
                                                         fs::perms::others_exec);
  fs::create_directory_symlink("private/zelvan-probe", lib / "zelvan-probe");
  EXPECT_EQ(FolderProblemFor((lib / "zelvan-probe" / "history.db").string()), "");
  setenv("XDG_STATE_HOME", lib.c_str(), 1);
  EXPECT_EQ(StateFolder(), (lib / "zelvan-probe").string());
  EXPECT_EQ(StorePlaceProblem(StateFile("registry.db")), "");
  unsetenv("XDG_STATE_HOME");
  // The folder the link leads to is the one that counts.
  fs::permissions(lib / "private" / "zelvan-probe", fs::perms::others_write, std::filesystem::perm_options::add);
  EXPECT_THAT(FolderProblem((lib / "zelvan-probe").string()), HasSubstr("can be written by other users"));
}

// Another user's folder, and another user's link to the user's own folder: only root can
// make them, so only root runs these (as CI does).
TEST_F(PrivateFolderTest, AnotherUsersFolderOrLinkIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to give a folder to another user (nobody, uid 65534)";
  const fs::path theirs = FRoot / "theirs";
  fs::create_directory(theirs);
  ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_THAT(FolderProblemFor((theirs / "registry.db").string()),
              HasSubstr("the folder " + theirs.string() + " belongs to nobody (uid 65534), not to root, who runs the probe: refused"));
  const fs::path link = FRoot / "link";
  fs::create_directory_symlink(FRoot, link);
  EXPECT_EQ(FolderProblem(link.string()), "") << "root's own link";
  ASSERT_EQ(lchown(link.c_str(), 65534, 65534), 0);
  EXPECT_THAT(FolderProblem(link.string()), HasSubstr("the symbolic link " + link.string() + " belongs to nobody"));
}
#endif

}  // namespace
}  // namespace zp
