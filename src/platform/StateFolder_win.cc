#include "platform/StateFolder.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>

#include "platform/WideText.h"

namespace zp {

// The local application data folder, asked of the system rather than read from the
// environment, which a parent process may have changed or left out.
std::string StateFolder() {
  std::string base;
  wchar_t* path = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path) == S_OK) base = Narrow(path, std::wcslen(path));
  CoTaskMemFree(path);
  if (base.empty()) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    base = Narrow(temp, n);
    while (!base.empty() && (base.back() == '\\' || base.back() == '/')) base.pop_back();
  }
  return base + "\\Zelvan Probe";
}

std::string StateFile(const std::string& name) { return StateFolder() + "\\" + name; }

bool MakeFolderFor(const std::string& file) {
  const auto cut = file.find_last_of("\\/");
  if (cut == std::string::npos || cut == 0) return true;
  const std::string folder = file.substr(0, cut);
  // A drive ("C:") or a share cannot be made, only found: each step may fail, as long as
  // the folder is there at the end.
  for (std::size_t end = 1; end <= folder.size(); ++end) {
    if (end < folder.size() && folder[end] != '\\' && folder[end] != '/') continue;
    CreateDirectoryW(Wide(folder.substr(0, end)).c_str(), nullptr);
  }
  const DWORD attributes = GetFileAttributesW(Wide(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace zp
