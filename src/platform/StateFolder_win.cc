#include "platform/StateFolder.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>

#include "platform/WideText.h"

namespace zp {

// The local application data folder, asked of the system rather than read from the
// environment, which a parent process may have changed or left out. Without one there
// is none: the temporary folder is no stand-in, since the local system account's is
// shared with every user.
std::string StateFolder() {
  std::string base;
  wchar_t* path = nullptr;
  if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path) == S_OK) base = Narrow(path, std::wcslen(path));
  CoTaskMemFree(path);
  if (base.empty()) return base;
  return base + "\\Zelvan Probe";
}

std::string StateFile(const std::string& name) {
  const std::string folder = StateFolder();
  return folder.empty() ? folder : folder + "\\" + name;
}

std::string NoStateFolderText() {
  return "no state folder for the history: the system gives this user no local application data folder";
}

bool MakeFolderFor(const std::string& file) {
  const auto last = file.find_last_of("\\/");
  if (last == std::string::npos || last == 0) return true;
  // A drive ("C:") or a share cannot be made, only found: each step may fail, as long as
  // the folder is there at the end.
  for (auto cut = file.find_first_of("\\/", 1); cut <= last; cut = file.find_first_of("\\/", cut + 1))
    CreateDirectoryW(Wide(file.substr(0, cut)).c_str(), nullptr);
  const DWORD attributes = GetFileAttributesW(Wide(file.substr(0, last)).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace zp
