#include "platform/TextfileFallback.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>

#include "platform/WideText.h"

namespace zp {

std::string TextfileFallbackFolder() {
  wchar_t* path = nullptr;
  std::string folder;
  if (SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path) == S_OK)
    folder = Narrow(path, std::wcslen(path)) + "\\Zelvan Probe\\textfile";
  CoTaskMemFree(path);
  return folder;
}

}  // namespace zp
