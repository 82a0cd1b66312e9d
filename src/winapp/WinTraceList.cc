#include "winapp/WinTraceList.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstdio>

#include "winapp/WinDpi.h"
#include "winapp/WinText.h"

namespace zp {

namespace {

constexpr UINT_PTR kSubclassId = 0x7A70;
constexpr UINT_PTR kBurstTimer = 0x7A71;
constexpr int kTabStops[] = {50, 100, 150, 200, 250, 300, 350, 400, 450, 500};
enum MenuItem : UINT { kCopy = 1, kCopyAll, kSaveTrace };

}  // namespace

WinTraceList::WinTraceList(HWND box) : FBox(box) {
  SetWindowSubclass(FBox, BoxProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
  Measure();
}

WinTraceList::~WinTraceList() {
  KillTimer(FBox, kBurstTimer);
  RemoveWindowSubclass(FBox, BoxProc, kSubclassId);
}

void WinTraceList::FontChanged() {
  Measure();
  FMaxLineWidth = 0;
  for (int i = 0; i < BoxCount(); ++i)
    FMaxLineWidth = std::max(FMaxLineWidth, TabbedTextWidth(FBox, Line(i), FStops.data(), static_cast<int>(FStops.size())));
  SendMessageW(FBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(FMaxLineWidth + FCharWidth), 0);
}

void WinTraceList::Measure() {
  // The list converts its tab units with the font it has when the stops are set.
  SendMessageW(FBox, LB_SETTABSTOPS, std::size(kTabStops), reinterpret_cast<LPARAM>(kTabStops));
  const int unit = TabCharWidth(FBox);
  FStops.clear();
  for (const int stop : kTabStops) FStops.push_back(MulDiv(stop, unit, 4));
  FCharWidth = MeasureCharWidth(FBox);
  const LRESULT height = SendMessageW(FBox, LB_GETITEMHEIGHT, 0, 0);
  FLineHeight = height > 0 ? static_cast<int>(height) : 1;
}

void WinTraceList::Append(const TraceLine& line) {
  FWaiting.push_back(BytesW(FormatTraceLine(line)));
  if (FBurstPending) return;
  // A line after a quiet spell shows at once; the lines of a dump wait for the next burst.
  const ULONGLONG since = GetTickCount64() - FLastBurst;
  if (since >= kBurstMs) {
    Flush();
    return;
  }
  FBurstPending = true;
  SetTimer(FBox, kBurstTimer, static_cast<UINT>(kBurstMs - since), nullptr);
}

void WinTraceList::Flush() {
  if (FBurstPending) KillTimer(FBox, kBurstTimer);
  FBurstPending = false;
  if (FWaiting.empty()) return;
  FLastBurst = GetTickCount64();
  SendMessageW(FBox, WM_SETREDRAW, FALSE, 0);
  for (const std::wstring& line : FWaiting) {
    FMaxLineWidth = std::max(FMaxLineWidth, TabbedTextWidth(FBox, line, FStops.data(), static_cast<int>(FStops.size())));
    SendMessageW(FBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
  }
  FWaiting.clear();
  RECT client{};
  GetClientRect(FBox, &client);
  // The list clamps the top line; the newest line ends up in view.
  const int top = BoxCount() - (client.bottom - client.top) / FLineHeight + 2;
  SendMessageW(FBox, LB_SETTOPINDEX, static_cast<WPARAM>(std::max(top, 0)), 0);
  // One character to spare, so that the end of the widest line is never cut.
  SendMessageW(FBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(FMaxLineWidth + FCharWidth), 0);
  SendMessageW(FBox, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FBox, nullptr, TRUE);
}

int WinTraceList::BoxCount() const { return static_cast<int>(SendMessageW(FBox, LB_GETCOUNT, 0, 0)); }

int WinTraceList::Count() const { return BoxCount() + static_cast<int>(FWaiting.size()); }

std::wstring WinTraceList::Line(int index) const {
  const LRESULT n = SendMessageW(FBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == LB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const LRESULT got = SendMessageW(FBox, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
  return text;
}

void WinTraceList::Clear(bool keep_last_test) {
  if (FBurstPending) KillTimer(FBox, kBurstTimer);
  FBurstPending = false;
  FWaiting.clear();
  SendMessageW(FBox, LB_RESETCONTENT, 0, 0);
  SendMessageW(FBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(FMaxLineWidth + FCharWidth), 0);
  if (keep_last_test && !FTests.empty()) FTests.erase(FTests.begin(), FTests.end() - 1);
  else FTests.clear();
}

void WinTraceList::StartTest(const TestStart& start) {
  FTests.push_back(WordsW(start.heading));
  FWaiting.push_back(WordsW(start.line));
  Flush();
  SendMessageW(FBox, WM_HSCROLL, SB_LEFT, 0);
}

std::wstring WinTraceList::Text(bool with_header) {
  Flush();
  std::wstring out;
  if (with_header) {
    out += L"Zelvan Probe trace\n";
    for (const std::wstring& heading : FTests) out += heading + L'\n';
    out += L"\n";
  }
  for (int i = 0; i < BoxCount(); ++i) out += Line(i) + L'\n';
  return out;
}

bool WinTraceList::Save(const std::wstring& path) {
  const std::string bytes = LineBytes(Text(true));
  const std::wstring temporary = path + L".saving";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size() && FlushFileBuffers(file);
  CloseHandle(file);
  if (ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
  DeleteFileW(temporary.c_str());
  return false;
}

void WinTraceList::CopySelected() {
  const auto index = static_cast<int>(SendMessageW(FBox, LB_GETCURSEL, 0, 0));
  if (index >= 0) SetClipboardText(FBox, Line(index));
}

void WinTraceList::CopyAll() { SetClipboardText(FBox, Text(true)); }

void WinTraceList::SaveAs() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t path[MAX_PATH];
  std::swprintf(path, MAX_PATH, L"zelvan-probe-trace-%04d%02d%02d-%02d%02d%02d.txt", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = GetAncestor(FBox, GA_ROOT);
  dialog.lpstrFilter = L"Text files (*.txt)\0*.txt\0All files (*)\0*.*\0";
  dialog.lpstrFile = path;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = L"Save Trace";
  dialog.lpstrDefExt = L"txt";
  dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  // The dialog's own loop dispatches the thread's messages: workers' hand-overs go on.
  if (!GetSaveFileNameW(&dialog) || Save(path)) return;
  const std::wstring text = std::wstring(L"Can't save the trace to ") + path;
  MessageBoxW(dialog.hwndOwner, text.c_str(), L"Zelvan Probe", MB_OK | MB_ICONERROR);
}

void WinTraceList::ShowMenu(int x, int y) {
  HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, kCopy, L"&Copy\tCtrl+C");
  AppendMenuW(menu, MF_STRING, kCopyAll, L"Copy &All\tCtrl+Shift+C");
  AppendMenuW(menu, MF_STRING, kSaveTrace, L"&Save Trace\u2026\tCtrl+S");
  if (x == -1 && y == -1) {  // from the keyboard: at the list's corner
    RECT r{};
    GetWindowRect(FBox, &r);
    x = r.left;
    y = r.top;
  }
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, FBox, nullptr));
  DestroyMenu(menu);
  if (chosen == kCopy) CopySelected();
  else if (chosen == kCopyAll) CopyAll();
  else if (chosen == kSaveTrace) SaveAs();
}

LRESULT CALLBACK WinTraceList::BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<WinTraceList*>(ref);
  switch (msg) {
    case WM_TIMER:
      if (wp == kBurstTimer) {
        self->Flush();
        return 0;
      }
      break;
    case WM_CONTEXTMENU:
      self->ShowMenu(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      return 0;
    case WM_KEYDOWN: {
      const bool ctrl = GetKeyState(VK_CONTROL) < 0;
      const bool shift = GetKeyState(VK_SHIFT) < 0;
      if (ctrl && wp == 'C') {
        if (shift) self->CopyAll();
        else self->CopySelected();
        return 0;
      }
      if (ctrl && wp == 'S') {
        self->SaveAs();
        return 0;
      }
      break;
    }
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

}  // namespace zp
