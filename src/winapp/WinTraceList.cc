#include "winapp/WinTraceList.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "winapp/WinDpi.h"
#include "winapp/WinFiles.h"
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
  for (std::size_t i = 0; i < FShown; ++i) FMaxLineWidth = std::max(FMaxLineWidth, LineWidth(FLines[i]));
  SendMessageW(FBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(FMaxLineWidth + FCharWidth), 0);
  InvalidateRect(FBox, nullptr, TRUE);
}

void WinTraceList::Measure() {
  const int unit = TabCharWidth(FBox);
  FStops.clear();
  for (const int stop : kTabStops) FStops.push_back(MulDiv(stop, unit, 4));
  FCharWidth = MeasureCharWidth(FBox);
  HDC dc = GetDC(FBox);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(FBox, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(FBox, dc);
  // A list that draws its own lines takes their height from its owner, not its font.
  FLineHeight = std::max<int>(metrics.tmHeight, 1);
  SendMessageW(FBox, LB_SETITEMHEIGHT, 0, FLineHeight);
}

int WinTraceList::LineWidth(const std::wstring& line) const {
  int x = 0;
  for (const wchar_t c : line) {
    if (c != L'\t') {
      x += FCharWidth;
      continue;
    }
    const auto next = std::upper_bound(FStops.begin(), FStops.end(), x);
    // Past the last stop a tab goes on by the last stops' spacing.
    const int step = FStops.size() > 1 ? FStops.back() - FStops[FStops.size() - 2] : 8 * FCharWidth;
    x = next != FStops.end() ? *next : x + step - (x - FStops.back()) % std::max(step, 1);
  }
  return x;
}

void WinTraceList::Append(const TraceLine& line) {
  FLines.push_back(BytesW(FormatTraceLine(line)));
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
  if (FShown == FLines.size()) return;
  FLastBurst = GetTickCount64();
  for (std::size_t i = FShown; i < FLines.size(); ++i) FMaxLineWidth = std::max(FMaxLineWidth, LineWidth(FLines[i]));
  FShown = FLines.size();
  SendMessageW(FBox, WM_SETREDRAW, FALSE, 0);
  SendMessageW(FBox, LB_SETCOUNT, static_cast<WPARAM>(FShown), 0);
  RECT client{};
  GetClientRect(FBox, &client);
  // The list clamps the top line; the newest line ends up in view.
  const int top = static_cast<int>(FShown) - (client.bottom - client.top) / FLineHeight + 2;
  SendMessageW(FBox, LB_SETTOPINDEX, static_cast<WPARAM>(std::max(top, 0)), 0);
  // One character to spare, so that the end of the widest line is never cut.
  SendMessageW(FBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(FMaxLineWidth + FCharWidth), 0);
  SendMessageW(FBox, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FBox, nullptr, TRUE);
}

void WinTraceList::DrawItem(const DRAWITEMSTRUCT& item) const {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  SetBkColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  ExtTextOutW(item.hDC, 0, 0, ETO_OPAQUE, &item.rcItem, nullptr, 0, nullptr);
  if (item.itemID < FShown) {
    const std::wstring& line = FLines[item.itemID];
    // The box shifts the item's rectangle by its horizontal scroll; the stops go with it.
    TabbedTextOutW(item.hDC, item.rcItem.left, item.rcItem.top, line.c_str(), static_cast<int>(line.size()),
                   static_cast<int>(FStops.size()), FStops.data(), item.rcItem.left);
  }
  if ((item.itemState & ODS_FOCUS) != 0) DrawFocusRect(item.hDC, &item.rcItem);
}

int WinTraceList::Count() const { return static_cast<int>(FLines.size()); }

std::wstring WinTraceList::Line(int index) const {
  return index >= 0 && static_cast<std::size_t>(index) < FLines.size() ? FLines[static_cast<std::size_t>(index)]
                                                                         : std::wstring();
}

void WinTraceList::Clear(bool keep_last_test) {
  if (FBurstPending) KillTimer(FBox, kBurstTimer);
  FBurstPending = false;
  FLines.clear();
  FShown = 0;
  SendMessageW(FBox, LB_RESETCONTENT, 0, 0);
  SendMessageW(FBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(FMaxLineWidth + FCharWidth), 0);
  if (keep_last_test && !FTests.empty()) FTests.erase(FTests.begin(), FTests.end() - 1);
  else FTests.clear();
}

void WinTraceList::StartTest(const TestStart& start) {
  FTests.push_back(WordsW(start.heading));
  FLines.push_back(WordsW(start.line));
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
  for (const std::wstring& line : FLines) out += line + L'\n';
  return out;
}

bool WinTraceList::Save(const std::wstring& path) { return SaveFile(path, WithCrLf(LineBytes(Text(true)))); }

void WinTraceList::CopySelected() {
  const auto index = static_cast<int>(SendMessageW(FBox, LB_GETCURSEL, 0, 0));
  if (index >= 0) SetClipboardText(FBox, Line(index));
}

void WinTraceList::CopyAll() { SetClipboardText(FBox, Text(true)); }

void WinTraceList::SaveAs() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t name[64];
  std::swprintf(name, 64, L"zelvan-probe-trace-%04d%02d%02d-%02d%02d%02d.txt", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  HWND owner = GetAncestor(FBox, GA_ROOT);
  const auto path = AskSavePath(owner, {L"Save Trace", name, L"Text files (*.txt)\0*.txt\0All files (*)\0*.*\0", L"txt"});
  if (!path || Save(*path)) return;
  const std::wstring text = L"Can't save the trace to " + *path;
  MessageBoxW(owner, text.c_str(), L"Zelvan Probe", MB_OK | MB_ICONERROR);
  SetFocus(FBox);
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
