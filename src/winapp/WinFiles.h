#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace zp {

// Files the windows save for the operator: where the dialog starts, the line ends and how
// a file is written.

// The user's Documents folder; empty when the system cannot name one.
std::wstring DocumentsFolder();

struct SaveQuestion {
  const wchar_t* title;
  std::wstring file_name;   // suggested
  const wchar_t* filter;    // pairs of NUL-terminated strings, ending with a second NUL
  const wchar_t* extension; // added when the operator types none
};
// Asks where to save, starting in Documents; the keyboard focus returns to where it was.
// The dialog's own loop dispatches the thread's messages, so workers' hand-overs go on.
// Nothing when the operator cancels.
std::optional<std::wstring> AskSavePath(HWND owner, const SaveQuestion& question);

// Text with every line ended by CR LF, as Windows' own programs read text files.
std::string WithCrLf(std::string_view text);

// Replaces the file at `path` whole with `bytes`: it is never seen half-written.
bool SaveFile(const std::wstring& path, std::string_view bytes);

}  // namespace zp
