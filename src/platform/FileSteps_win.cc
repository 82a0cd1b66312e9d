#include "platform/FileSteps.h"

#include <io.h>
#include <windows.h>

namespace zp {

std::FILE* OpenForWriting(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"wb"); }

bool FlushToDisk(std::FILE* file) { return std::fflush(file) == 0 && _commit(_fileno(file)) == 0; }

// MoveFileEx replaces the target in one step (the runtime's rename removes it first,
// which leaves a moment with no file at all). A reader that has the old file open without
// letting it be deleted holds the replacement off: wait for it a little.
std::error_code MoveOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  const ULONGLONG give_up = GetTickCount64() + 5000;
  while (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || GetTickCount64() > give_up)
      return std::error_code(static_cast<int>(error), std::system_category());
    Sleep(1);
  }
  return {};
}

}  // namespace zp
