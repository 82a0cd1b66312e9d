#pragma once
// A folder of a test's own in the system's temporary folder, private to the user running
// the tests: the programs refuse to keep a store where other users may write, as in the
// temporary folder itself. Removed with everything in it when the object goes.
#include <atomic>
#include <filesystem>
#include <string>
#include <system_error>

#include "support/ProcessRunner.h"

namespace zp::test {

class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& prefix) {
    static std::atomic<int> count{0};
    FPath = std::filesystem::temp_directory_path() /
            (prefix + "-" + std::to_string(CurrentProcessId()) + "-" + std::to_string(++count));
    std::filesystem::remove_all(FPath);
    std::filesystem::create_directories(FPath);
    std::filesystem::permissions(FPath, std::filesystem::perms::owner_all);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& Path() const { return FPath; }
  // `name` in the folder.
  std::string File(const std::string& name) const { return (FPath / name).string(); }

 private:
  std::filesystem::path FPath;
};

}  // namespace zp::test
