#pragma once
// Drives the native windows in-process by their messages, as a person would through the
// controls: clicks, typed and set text, list lines read back; meets every modal window
// (results, error box, message boxes) from a thread timer that their loops dispatch.
#include <windows.h>

#include <commctrl.h>

#include <cstdint>

#include <functional>
#include <string>
#include <vector>

#include "winapp/WinDpi.h"

namespace zp::test {

// Under Wine without a window manager (a bare virtual X display), hiding a managed window
// waits two seconds for a manager that never answers. The tests leave their windows
// unmanaged; Wine reads the setting when a process starts, so it holds from the process
// after the first (test discovery lists the tests first). The windows behave the same.
inline const bool kUnmanagedWindows = [] {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const wchar_t value[] = L"N";
  RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value);
  RegCloseKey(key);
  return true;
}();

inline void InitControls() {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
}

// Dispatches the thread's messages until `done` or `ms` milliseconds.
inline bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  for (;;) {
    if (done()) return true;
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageW(GetAncestor(msg.hwnd != nullptr ? msg.hwnd : GetDesktopWindow(), GA_ROOT), &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }
}
inline void Pump(DWORD ms) { PumpUntil([] { return false; }, ms); }

// A click as the button reports it: an auto radio button is checked (its group's others
// cleared) and the parent gets BN_CLICKED. Not BM_CLICK, whose pretended mouse press can
// lose its capture to the focus changes a fresh Wine display sends, and then click nothing.
inline void Click(HWND button) {
  if (!IsWindowEnabled(button)) return;
  HWND parent = GetParent(button);
  if ((GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON) {
    for (HWND other = GetNextDlgGroupItem(parent, button, FALSE); other != nullptr && other != button;
         other = GetNextDlgGroupItem(parent, other, FALSE))
      SendMessageW(other, BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(button, BM_SETCHECK, BST_CHECKED, 0);
  }
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
}
inline void SetText(HWND control, const std::wstring& text) { SetWindowTextW(control, text.c_str()); }
inline std::wstring Text(HWND control) { return WindowText(control); }
// Types `text` character by character into a focused edit, so that its limit applies.
inline void Type(HWND edit, const std::wstring& text) {
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  for (const wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}
inline std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    text = static_cast<const wchar_t*>(GlobalLock(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return text;
}
inline bool Enabled(HWND control) { return IsWindowEnabled(control) != FALSE; }
inline bool Visible(HWND control) { return IsWindowVisible(control) != FALSE; }
inline bool Checked(HWND radio) { return SendMessageW(radio, BM_GETCHECK, 0, 0) == BST_CHECKED; }

inline std::vector<std::wstring> ListLines(HWND list) {
  std::vector<std::wstring> lines;
  const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    std::wstring line(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    line.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()))));
    lines.push_back(std::move(line));
  }
  return lines;
}

// Pixels, 0x00BBGGRR, of a `w` x `h` bitmap after `draw` has drawn into it.
inline std::vector<COLORREF> Drawn(int w, int h, const std::function<void(HDC)>& draw) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, w, -h, 1, 32, BI_RGB};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  draw(dc);
  GdiFlush();
  std::vector<COLORREF> pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  const auto* from = static_cast<const std::uint32_t*>(bits);
  for (std::size_t i = 0; i < pixels.size(); ++i)
    pixels[i] = RGB((from[i] >> 16) & 0xFF, (from[i] >> 8) & 0xFF, from[i] & 0xFF);
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return pixels;
}
// A control's client area as its own painting draws it afresh (WM_PRINTCLIENT).
inline std::vector<COLORREF> Painted(HWND control) {
  RECT r{};
  GetClientRect(control, &r);
  return Drawn(r.right, r.bottom, [&](HDC dc) {
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  });
}

// The texts a control's own painting draws afresh (WM_PRINTCLIENT into a metafile), in
// the order drawn, as the system's characters.
inline std::vector<std::wstring> TextsPainted(HWND control) {
  HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
  SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT | PRF_ERASEBKGND);
  HENHMETAFILE drawn = CloseEnhMetaFile(dc);
  std::vector<std::wstring> texts;
  const auto collect = [](HDC, HANDLETABLE*, const ENHMETARECORD* record, int, LPARAM out) -> int {
    if (record->iType == EMR_EXTTEXTOUTW) {
      const auto* text = reinterpret_cast<const EMREXTTEXTOUTW*>(record);
      const auto* chars = reinterpret_cast<const wchar_t*>(reinterpret_cast<const BYTE*>(record) + text->emrtext.offString);
      reinterpret_cast<std::vector<std::wstring>*>(out)->emplace_back(chars, text->emrtext.nChars);
    }
    return 1;
  };
  EnumEnhMetaFile(nullptr, drawn, collect, &texts, nullptr);
  DeleteEnhMetaFile(drawn);
  return texts;
}

// A system dialog the window opened (a message box or the error box).
struct DialogSeen {
  std::wstring title;
  std::wstring text;  // its static texts, joined by new lines
};

// Calls `on_tick` every 20 ms from whatever loop the thread runs, until destroyed.
class ThreadTicker {
 public:
  explicit ThreadTicker(std::function<void()> on_tick) {
    Current() = std::move(on_tick);
    FTimer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
      if (Current()) Current()();
    });
  }
  ~ThreadTicker() {
    KillTimer(nullptr, FTimer);
    Current() = nullptr;
  }
  ThreadTicker(const ThreadTicker&) = delete;
  ThreadTicker& operator=(const ThreadTicker&) = delete;

 private:
  static std::function<void()>& Current() {
    static std::function<void()> fn;
    return fn;
  }
  UINT_PTR FTimer;
};

// The visible system dialogs of this thread, with their texts.
inline std::vector<std::pair<HWND, DialogSeen>> OpenDialogs() {
  std::vector<std::pair<HWND, DialogSeen>> found;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM out) -> BOOL {
        wchar_t kind[64];
        GetClassNameW(hwnd, kind, 64);
        if (std::wstring(kind) != L"#32770" || !IsWindowVisible(hwnd)) return TRUE;
        DialogSeen seen{WindowText(hwnd), {}};
        EnumChildWindows(
            hwnd,
            [](HWND child, LPARAM text) -> BOOL {
              wchar_t child_kind[64];
              GetClassNameW(child, child_kind, 64);
              const std::wstring words = WindowText(child);
              auto& all = *reinterpret_cast<std::wstring*>(text);
              if (!words.empty() && _wcsicmp(child_kind, L"Static") == 0) all += (all.empty() ? L"" : L"\n") + words;
              return TRUE;
            },
            reinterpret_cast<LPARAM>(&seen.text));
        reinterpret_cast<std::vector<std::pair<HWND, DialogSeen>>*>(out)->emplace_back(hwnd, std::move(seen));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Button texts of a dialog (its push buttons).
inline std::vector<std::wstring> DialogButtons(HWND dialog) {
  std::vector<std::wstring> buttons;
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM out) -> BOOL {
        wchar_t kind[64];
        GetClassNameW(child, kind, 64);
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK;
        if (_wcsicmp(kind, L"Button") == 0 && IsWindowVisible(child) &&
            (style == BS_PUSHBUTTON || style == BS_DEFPUSHBUTTON || style == BS_COMMANDLINK || style == BS_DEFCOMMANDLINK))
          reinterpret_cast<std::vector<std::wstring>*>(out)->push_back(WindowText(child));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&buttons));
  return buttons;
}

}  // namespace zp::test
