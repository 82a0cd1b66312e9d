#include "winapp/WinFiles.h"

#include <commdlg.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwchar>
#include <filesystem>
#include <vector>

#include "platform/AtomicFile.h"
#include "winapp/WinText.h"

namespace zp {

std::wstring DocumentsFolder() {
  wchar_t* path = nullptr;
  std::wstring folder;
  if (SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path) == S_OK) folder = path;
  CoTaskMemFree(path);
  return folder;
}

std::optional<std::wstring> AskSavePath(HWND owner, const SaveQuestion& question) {
  std::vector<wchar_t> path(32768, L'\0');
  question.file_name.copy(path.data(), std::min(question.file_name.size(), path.size() - 1));
  // The program's own folder, where the dialog would otherwise start, is no place for
  // the operator's files (and under Program Files cannot be written).
  const std::wstring documents = DocumentsFolder();
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = question.filter;
  dialog.lpstrFile = path.data();
  dialog.nMaxFile = static_cast<DWORD>(path.size());
  dialog.lpstrInitialDir = documents.empty() ? nullptr : documents.c_str();
  dialog.lpstrTitle = question.title;
  dialog.lpstrDefExt = question.extension;
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER;
  HWND focus = GetFocus();
  const bool chosen = GetSaveFileNameW(&dialog) != FALSE;
  // The dialog hands the activation back to its owner, not the focus to the control.
  if (focus != nullptr && IsWindow(focus)) SetFocus(focus);
  if (!chosen) return std::nullopt;
  return std::wstring(path.data());
}

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

bool SaveFile(const std::wstring& path, std::string_view bytes) {
  std::string error;
  return WriteFileAtomically(Utf8(path), bytes, error);
}

}  // namespace zp
