#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <random>
#include <string>

#include "platform/FolderSecurity_win.h"
#include "platform/PrivateFolder.h"

// Which folders the programs may keep their files in on Windows, where the periodic check
// runs as the local system account and keeps its history in ProgramData: the owner must
// be the user, the local system or the administrators, and no other account may add or
// change the folder's files.
namespace zp {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// A folder of the test's own in the temporary folder, removed afterwards.
class WinFolder {
 public:
  WinFolder() : FRoot(fs::temp_directory_path() / ("zp-private-win-" + std::to_string(std::random_device{}()))) {
    fs::create_directories(FRoot / "Zelvan Probe");
  }
  ~WinFolder() {
    std::error_code ignored;
    fs::remove_all(FRoot, ignored);
  }
  fs::path Folder() const { return FRoot / "Zelvan Probe"; }
  std::string File() const { return (Folder() / "history.db").string(); }

 private:
  fs::path FRoot;
};

// A security descriptor from the system's string form, freed with the object.
class Descriptor {
 public:
  explicit Descriptor(const wchar_t* sddl) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &FDescriptor, nullptr))
      FDescriptor = nullptr;
  }
  ~Descriptor() { LocalFree(FDescriptor); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  PSECURITY_DESCRIPTOR Get() const { return FDescriptor; }

 private:
  PSECURITY_DESCRIPTOR FDescriptor = nullptr;
};

// On the disk, as every system shows it. Wine keeps no owner but the user and makes a
// folder's access list from the file's mode: a rule letting everyone write is a mode
// letting others write, which it reads back as such.
TEST(PrivateFolderWinTest, TheUsersOwnFolderIsTakenAndOneEveryoneMayChangeIsNot) {
  WinFolder own;
  EXPECT_EQ(FolderProblemFor(own.File()), "");
  WinFolder open;
  const Descriptor everyone(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;WD)");
  ASSERT_NE(everyone.Get(), nullptr);
  PACL dacl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  GetSecurityDescriptorDacl(everyone.Get(), &present, &dacl, &defaulted);
  std::wstring path = open.Folder().wstring();
  ASSERT_EQ(SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  dacl, nullptr),
            0u);
  const std::string problem = FolderProblemFor(open.File());
  EXPECT_THAT(problem, HasSubstr("the folder " + open.Folder().string() + " lets "));
  EXPECT_THAT(problem, HasSubstr("(S-1-1-0) add or change its files: refused"));
}

// Owners and rules for other accounts, judged from descriptors made here: Wine cannot
// keep them on a folder, and the judgement is the same.
TEST(PrivateFolderWinTest, OnlyTheSystemsTheAdministratorsOrTheUsersOwnThatNoOneElseMayChange) {
  const struct {
    const char* name;
    const wchar_t* sddl;
    const char* problem;  // empty: accepted
  } cases[] = {
      // What the installer makes of C:\ProgramData\Zelvan Probe: users may only read.
      {"the system's, users reading", L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", ""},
      {"the administrators'", L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", ""},
      // A rule for what is made inside only (the creator's own files) is no rule for the folder.
      {"creator owner", L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)", ""},
      // A folder made in ProgramData without rules of its own keeps ProgramData's: every
      // user may add files to it.
      {"ProgramData's rule for users",
       L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;CI;0x116;;;BU)",
       "lets BUILTIN\\Users (S-1-5-32-545) add or change its files"},
      {"everyone writing", L"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;WD)", "(S-1-1-0) add or change its files"},
      // Made first by someone else.
      {"another account's", L"O:BUD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)",
       "belongs to BUILTIN\\Users (S-1-5-32-545), neither to this user"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Descriptor descriptor(c.sddl);
    ASSERT_NE(descriptor.Get(), nullptr);
    const std::string problem = FolderSecurityProblem("C:\\ProgramData\\Zelvan Probe", descriptor.Get());
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_THAT(problem, HasSubstr("the folder C:\\ProgramData\\Zelvan Probe "));
      EXPECT_THAT(problem, HasSubstr(c.problem));
    }
  }
  // No access list at all, which lets everyone do everything (made by hand: Wine reads
  // "D:NO_ACCESS_CONTROL" as an empty list, which lets no one do anything).
  SECURITY_DESCRIPTOR open;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  BYTE system[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof system;
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &size));
  ASSERT_TRUE(SetSecurityDescriptorOwner(&open, system, FALSE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE));
  EXPECT_THAT(FolderSecurityProblem("C:\\ProgramData\\Zelvan Probe", &open), HasSubstr("has no access list"));
}

}  // namespace
}  // namespace zp
