#include "winapp/WinProbeFormUi.h"

#include <commctrl.h>

#include <algorithm>
#include <initializer_list>
#include <tuple>

#include "session/WindowLook.h"
#include "winapp/WinDpi.h"
#include "winapp/WinLook.h"
#include "winapp/WinText.h"

namespace zp {

namespace {

using namespace look;
constexpr int kMargin = 12;

int FontHeight(HWND window, HFONT font) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return metrics.tmHeight;
}

// The group box paints only its frame and caption: what was drawn inside it before (the
// process page's lines) would stay. It clears its inside first; the controls in it lie
// above it and are left out of its painting.
LRESULT CALLBACK GroupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_ERASEBKGND) {
    RECT r{};
    GetClientRect(hwnd, &r);
    HWND parent = GetParent(hwnd);
    auto brush = reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC, wp, reinterpret_cast<LPARAM>(hwnd)));
    FillRect(reinterpret_cast<HDC>(wp), &r, brush != nullptr ? brush : GetSysColorBrush(COLOR_BTNFACE));
    return 1;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// The edit control breaks lines at CR LF only.
std::wstring EditText(const char* text) {
  std::wstring out;
  for (const wchar_t c : WordsW(text)) out += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
  return out;
}

constexpr int kWelcomeControls[] = {WinProbeFormUi::kWelcomeText, WinProbeFormUi::kWelcomeNext,
                                    WinProbeFormUi::kWelcomeClose};
constexpr int kSelectControls[] = {
    WinProbeFormUi::kSelectGroup, WinProbeFormUi::kSelectItem0, WinProbeFormUi::kSelectItem1,
    WinProbeFormUi::kSelectItem2, WinProbeFormUi::kServerLabel, WinProbeFormUi::kServer,
    WinProbeFormUi::kPortLabel, WinProbeFormUi::kPort, WinProbeFormUi::kRouteCodeLabel,
    WinProbeFormUi::kRouteCode, WinProbeFormUi::kSelectBack, WinProbeFormUi::kSelectNext,
    WinProbeFormUi::kSelectClose};
constexpr int kProcessControls[] = {
    WinProbeFormUi::kShowThread, WinProbeFormUi::kShowState, WinProbeFormUi::kProgressText,
    WinProbeFormUi::kShowStatus, WinProbeFormUi::kTrace, WinProbeFormUi::kProcessBack,
    WinProbeFormUi::kProcessTest, WinProbeFormUi::kProcessStop, WinProbeFormUi::kProcessClose};

}  // namespace

WinProbeFormUi::~WinProbeFormUi() {
  for (HFONT font : {FFont, FBannerFont, FFixedFont})
    if (font != nullptr) DeleteObject(font);
}

HWND WinProbeFormUi::Make(const wchar_t* kind, const wchar_t* text, DWORD style, int id, DWORD ex) {
  return CreateWindowExW(ex, kind, text, WS_CHILD | style, 0, 0, 10, 10, FWindow,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void WinProbeFormUi::Build(HWND window) {
  FWindow = window;
  FDpi = DpiOf(window);
  // Welcome. The text is read-only and out of the Tab order.
  Make(L"EDIT", EditText(look::kWelcomeText).c_str(), ES_MULTILINE | ES_READONLY, kWelcomeText);
  Make(L"BUTTON", L"Ne&xt", WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, kWelcomeNext);
  Make(L"BUTTON", L"Close", WS_TABSTOP | BS_PUSHBUTTON, kWelcomeClose);

  // Select: the radio group (no item chosen at start), then the three labelled edits.
  Make(L"BUTTON", L" Available Items ", BS_GROUPBOX | WS_CLIPSIBLINGS, kSelectGroup);
  SetWindowSubclass(Control(kSelectGroup), GroupProc, 1, 0);
  for (int i = 0; i < kItemCount; ++i)
    Make(L"BUTTON", WordsW(kConnectionItems[i]).c_str(), WS_TABSTOP | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0), kSelectItem0 + i);
  Make(L"STATIC", L"Server", SS_RIGHT | SS_NOPREFIX | WS_GROUP, kServerLabel);
  Make(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kServer, WS_EX_CLIENTEDGE);
  Make(L"STATIC", L"Port (in hex)", SS_RIGHT | SS_NOPREFIX, kPortLabel);
  Make(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kPort, WS_EX_CLIENTEDGE);
  Make(L"STATIC", L"Route Code", SS_RIGHT | SS_NOPREFIX, kRouteCodeLabel);
  Make(L"EDIT", L"A", WS_TABSTOP | ES_AUTOHSCROLL, kRouteCode, WS_EX_CLIENTEDGE);
  SendMessageW(Control(kPort), EM_SETLIMITTEXT, 4, 0);
  SendMessageW(Control(kRouteCode), EM_SETLIMITTEXT, 1, 0);
  Make(L"BUTTON", L"&Back", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, kSelectBack);
  Make(L"BUTTON", L"Ne&xt", WS_TABSTOP | BS_DEFPUSHBUTTON | WS_DISABLED, kSelectNext);
  Make(L"BUTTON", L"Close", WS_TABSTOP | BS_PUSHBUTTON, kSelectClose);

  // Process: three status lines in a sunken frame, the trace, the progress and the buttons.
  Make(L"STATIC", L"", SS_ICON | SS_REALSIZECONTROL, kResultIcon);
  Make(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, kShowThread);
  Make(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX, kShowState);
  Make(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, kProgressText);
  Make(L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, kShowStatus);
  Make(L"LISTBOX", L"",
       WS_TABSTOP | WS_GROUP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_NODATA | LBS_OWNERDRAWFIXED |
           LBS_NOINTEGRALHEIGHT,
       kTrace,
       WS_EX_CLIENTEDGE);
  SetWindowTextW(Control(kTrace), L"Trace");  // the name a screen reader gives the list
  Make(PROGRESS_CLASSW, L"", PBS_MARQUEE, kProgressBar);
  Make(L"BUTTON", L"&Back", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, kProcessBack);
  Make(L"BUTTON", L"&Test", WS_TABSTOP | BS_DEFPUSHBUTTON, kProcessTest);
  Make(L"BUTTON", L"&Stop", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, kProcessStop);
  Make(L"BUTTON", L"Close", WS_TABSTOP | BS_PUSHBUTTON, kProcessClose);

  // Beneath every other control, so that those inside it are left out of its painting.
  SetWindowPos(Control(kSelectGroup), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ApplyFonts(FDpi);
  ShowPageControls(Page::Welcome);
}

void WinProbeFormUi::ApplyFonts(UINT dpi) {
  FDpi = dpi;
  for (HFONT font : {FFont, FBannerFont, FFixedFont})
    if (font != nullptr) DeleteObject(font);
  FFont = MakeUiFont(dpi);
  FBannerFont = MakeUiFont(dpi, 17, true);
  FFixedFont = MakeFixedFont(dpi);
  for (HWND child = GetWindow(FWindow, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
  SendMessageW(Control(kTrace), WM_SETFONT, reinterpret_cast<WPARAM>(FFixedFont), TRUE);
  FLineHeight = FontHeight(FWindow, FFont);
  FBannerHeight = FontHeight(FWindow, FBannerFont);
}

// The three status lines as tall as their fonts: the banner's line, then two of the window's.
int WinProbeFormUi::StatusPanelHeight() const {
  return std::max(Scale(kStatusPanelHeight, FDpi), FBannerHeight + 2 * FLineHeight + Scale(16, FDpi));
}

int WinProbeFormUi::ButtonRowWidth(std::initializer_list<int> ids) const {
  int width = 0;
  for (const int id : ids) width += ButtonWidth(Control(id), Scale(kButtonWidth, FDpi), FDpi) + Scale(6, FDpi);
  return width;
}

SIZE WinProbeFormUi::MinimumClientSize() const {
  const auto s = [this](int v) { return Scale(v, FDpi); };
  // The process page's row: the progress bar and four buttons; its banner, as measured;
  // and room for a few trace lines between the status lines and the buttons.
  const int row = 2 * s(kMargin) + s(120) + s(12) + ButtonRowWidth({kProcessBack, kProcessTest, kProcessStop, kProcessClose});
  const int banner = s(40) + TextWidthIn(Control(kShowThread), WindowText(Control(kShowThread)));
  const int width = std::max({s(kMainWidth) * 3 / 4, row, banner});
  const int height = std::max(s(kMainHeight) * 2 / 3, StatusPanelHeight() + 6 * FLineHeight + s(kButtonPanelHeight));
  return {width, height};
}

RECT WinProbeFormUi::StatusFrame() const {
  RECT client{};
  GetClientRect(FWindow, &client);
  const int m = Scale(4, FDpi);
  return {m, m, client.right - m, StatusPanelHeight() - m};
}

void WinProbeFormUi::PaintFrame(HDC dc) {
  if (FPage != Page::Process) return;
  RECT frame = StatusFrame();
  DrawEdge(dc, &frame, BDR_SUNKENOUTER, BF_RECT);
}

void WinProbeFormUi::Layout() {
  RECT client{};
  GetClientRect(FWindow, &client);
  const auto s = [this](int v) { return Scale(v, FDpi); };
  const int w = client.right, h = client.bottom;
  const auto place = [this](int id, int x, int y, int cx, int cy) {
    MoveWindow(Control(id), x, y, std::max(cx, 0), std::max(cy, 0), TRUE);
  };
  const int bw = s(kButtonWidth), bh = s(kButtonHeight), gap = s(6), m = s(kMargin);
  const int row_y = h - m - bh;
  // A row of buttons at the bottom right, in the order given.
  const auto row = [&](std::initializer_list<int> ids) {
    int x = w - m - static_cast<int>(ids.size()) * bw - (static_cast<int>(ids.size()) - 1) * gap;
    for (const int id : ids) {
      place(id, x, row_y, bw, bh);
      x += bw + gap;
    }
  };

  place(kWelcomeText, m, m, w - 2 * m, row_y - 2 * m);
  row({kWelcomeNext, kWelcomeClose});

  const int item_h = s(22), group_h = s(26) + kItemCount * item_h;
  place(kSelectGroup, m, m, w - 2 * m, group_h);
  for (int i = 0; i < kItemCount; ++i) place(kSelectItem0 + i, m + s(12), m + s(20) + i * item_h, w - 2 * m - s(24), item_h);
  const int label_w = s(90), edit_x = m + label_w + s(8), edit_h = s(22), narrow = s(80);
  int y = m + group_h + s(14);
  for (const auto& [label, edit, wide] : {std::tuple{kServerLabel, kServer, true}, std::tuple{kPortLabel, kPort, false},
                                         std::tuple{kRouteCodeLabel, kRouteCode, false}}) {
    place(label, m, y + s(3), label_w, edit_h - s(3));
    place(edit, edit_x, y, wide ? w - edit_x - m : narrow, edit_h);
    y += edit_h + s(8);
  }
  row({kSelectBack, kSelectNext, kSelectClose});

  const RECT frame = StatusFrame();
  const int banner_h = FBannerHeight + s(2), line = FLineHeight + s(1);
  const int left = frame.left + s(6), right = frame.right - s(6);
  const int icon = s(16);
  const bool icon_shown = IsWindowVisible(Control(kResultIcon)) != FALSE;
  const int y0 = frame.top + s(3);
  place(kResultIcon, left, y0 + (banner_h - icon) / 2, icon, icon);
  const int banner_x = icon_shown ? left + icon + s(6) : left;
  place(kShowThread, banner_x, y0, right - banner_x, banner_h);
  // The state column with room for a long state word in the font as it is.
  const int state_w = std::max(s(150), TextWidthIn(Control(kShowState), L"WaitingForRouteList") + s(8));
  place(kShowState, left, y0 + banner_h, state_w, line);
  place(kProgressText, left + state_w + s(16), y0 + banner_h, right - left - state_w - s(16), line);
  place(kShowStatus, left, y0 + banner_h + line, right - left, line);
  const int top = StatusPanelHeight(), bottom = s(kButtonPanelHeight);
  place(kTrace, 0, top, w, h - top - bottom);
  place(kProgressBar, m, row_y + (bh - s(12)) / 2, s(120), s(12));
  row({kProcessBack, kProcessTest, kProcessStop, kProcessClose});
  RedrawAll(FWindow);
}

void WinProbeFormUi::SetProgress(int done, int total) {
  HWND bar = Control(kProgressBar);
  const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
  if (total > 0) {
    if ((style & PBS_MARQUEE) != 0) {
      SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
      SetWindowLongPtrW(bar, GWL_STYLE, style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    }
    SendMessageW(bar, PBM_SETRANGE32, 0, total);
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    return;
  }
  if ((style & PBS_MARQUEE) == 0) SetWindowLongPtrW(bar, GWL_STYLE, style | PBS_MARQUEE);
  SendMessageW(bar, PBM_SETMARQUEE, TRUE, 30);
}

void WinProbeFormUi::ShowPageControls(Page page) {
  FPage = page;
  const auto show = [this](const auto& ids, bool visible) {
    for (const int id : ids) ShowWindow(Control(id), visible ? SW_SHOW : SW_HIDE);
  };
  // The old page goes first, and the window repaints the room it leaves before the new
  // page's controls cover it: nothing of the old page shows through the new.
  show(kWelcomeControls, false);
  show(kSelectControls, false);
  show(kProcessControls, false);
  ShowWindow(Control(kResultIcon), SW_HIDE);
  ShowWindow(Control(kProgressBar), SW_HIDE);
  RedrawWindow(FWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ERASENOW);
  if (page == Page::Welcome) show(kWelcomeControls, true);
  else if (page == Page::Select) show(kSelectControls, true);
  else show(kProcessControls, true);
  RedrawAll(FWindow);
}

}  // namespace zp
