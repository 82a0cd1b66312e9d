#include "winapp/WinResultsForm.h"

#include <commctrl.h>

#include <algorithm>

#include "session/WindowLook.h"
#include "winapp/WinDpi.h"
#include "winapp/WinInvoker.h"
#include "winapp/WinText.h"

namespace zp {

namespace {

const wchar_t* const kClassName = L"ZelvanProbeResults";
constexpr int kWidth = look::kResultsWidth;
constexpr int kHeight = look::kResultsHeight;
constexpr int kTopPanelHeight = 41;
constexpr int kResultTabStop = 50;  // tab units: the route column follows a 6-digit score
constexpr int kColumnGap = 3;       // characters between the route and its outcome

HWND Child(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int id, DWORD ex = 0) {
  return CreateWindowExW(ex, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

}  // namespace

WinResultsForm::WinResultsForm(HWND owner) { Create(owner); }

WinResultsForm::~WinResultsForm() {
  if (FWindow != nullptr) DestroyWindow(FWindow);
  if (FFont != nullptr) DeleteObject(FFont);
  if (FBannerFont != nullptr) DeleteObject(FBannerFont);
}

void WinResultsForm::Create(HWND owner) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  FWindow = CreateWindowExW(WS_EX_DLGMODALFRAME, kClassName, L"Results",
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, 0, 0, kWidth,
                            kHeight, owner, nullptr, wc.hInstance, this);
  FDpi = DpiOf(FWindow);
  FShowResult = Child(FWindow, L"STATIC", L"<<show result>>", SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX, kShowResult);
  FCopyAll = Child(FWindow, L"BUTTON", L"Copy &All", WS_TABSTOP | BS_PUSHBUTTON, kCopyAll);
  FClose = Child(FWindow, L"BUTTON", L"&Close", WS_TABSTOP | BS_DEFPUSHBUTTON, kClose);
  FResults = Child(FWindow, L"LISTBOX", L"",
                   WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT, kResults);
  FLegend = Child(FWindow, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kLegend);
  SetWindowSubclass(FResults, ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
  ApplyFonts();
  // Centred on the screen, at the size of this monitor's DPI.
  const int w = Scale(kWidth, FDpi), h = Scale(kHeight, FDpi);
  SetWindowPos(FWindow, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w,
               h, SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

void WinResultsForm::ApplyFonts() {
  if (FFont != nullptr) DeleteObject(FFont);
  if (FBannerFont != nullptr) DeleteObject(FBannerFont);
  FFont = MakeUiFont(FDpi);
  FBannerFont = MakeUiFont(FDpi, 24);
  for (HWND control : {FCopyAll, FClose, FResults, FLegend})
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
  SendMessageW(FShowResult, WM_SETFONT, reinterpret_cast<WPARAM>(FBannerFont), TRUE);
  const int stop = kResultTabStop;
  SendMessageW(FResults, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&stop));
}

void WinResultsForm::Layout() {
  RECT client{};
  GetClientRect(FWindow, &client);
  const auto s = [this](int v) { return Scale(v, FDpi); };
  const int w = client.right, h = client.bottom;
  const int button_w = s(75), button_h = s(27), top = s(kTopPanelHeight);
  const int close_x = w - s(8) - button_w, copy_x = close_x - s(6) - button_w;
  MoveWindow(FClose, close_x, (top - button_h) / 2, button_w, button_h, TRUE);
  MoveWindow(FCopyAll, copy_x, (top - button_h) / 2, button_w, button_h, TRUE);
  MoveWindow(FShowResult, s(4), s(4), std::max(copy_x - s(10), s(345)), s(33), TRUE);
  int legend_h = 0;
  const std::wstring legend = WindowText(FLegend);
  if (!legend.empty()) {
    HDC dc = GetDC(FLegend);
    HGDIOBJ old = SelectObject(dc, FFont);
    RECT r{0, 0, w - s(12), 0};
    DrawTextW(dc, legend.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(FLegend, dc);
    legend_h = r.bottom + s(10);
  }
  ShowWindow(FLegend, legend.empty() ? SW_HIDE : SW_SHOW);
  MoveWindow(FLegend, s(6), h - legend_h + s(4), w - s(12), std::max(legend_h - s(10), 0), TRUE);
  MoveWindow(FResults, 0, top, w, std::max(h - top - legend_h, s(20)), TRUE);
}

void WinResultsForm::AddLine(const std::wstring& line) {
  SendMessageW(FResults, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
}

void WinResultsForm::Fill(const ResultsView& results) {
  if (!results.banner.word.empty()) SetWindowTextW(FShowResult, WordsW(results.banner.word).c_str());
  SendMessageW(FResults, WM_SETREDRAW, FALSE, 0);
  SendMessageW(FResults, LB_RESETCONTENT, 0, 0);
  const int stop = kResultTabStop;
  SendMessageW(FResults, LB_SETTABSTOPS, 1, reinterpret_cast<LPARAM>(&stop));
  for (const ResultLine& line : results.lines) AddLine(WordsW(line.Text()));
  if (!results.lines.empty() && results.lines.front().kind == ResultLine::Kind::Heading) FitColumns();
  SetWindowTextW(FLegend, WordsW(results.legend).c_str());
  const int unit = TabCharWidth(FResults);
  // The stops as the list has them, in pixels, for measuring.
  const int stops[1] = {MulDiv(kResultTabStop, unit, 4)};
  int widest = 0;
  for (const std::wstring& line : Lines()) widest = std::max(widest, TabbedTextWidth(FResults, line, stops, 1));
  const int char_width = MeasureCharWidth(FResults);
  SendMessageW(FResults, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + char_width), 0);
  SendMessageW(FResults, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(FResults, nullptr, TRUE);

  // Wide enough for the lines where the screen allows; never narrower than the window's own size.
  RECT frame{};
  GetWindowRect(FWindow, &frame);
  const int room = GetSystemMetrics(SM_CXSCREEN) * 9 / 10;
  const int base = Scale(kWidth, FDpi);
  const int want = std::clamp(widest + 4 * char_width, base, std::max(base, room));
  if (want > frame.right - frame.left)
    SetWindowPos(FWindow, nullptr, (GetSystemMetrics(SM_CXSCREEN) - want) / 2, frame.top, want,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

void WinResultsForm::FitColumns() {
  // Each column starts after the widest text before it, whatever the font: the route
  // lines are those with as many columns as the heading.
  const std::vector<std::wstring> lines = Lines();
  const auto tabs = std::count(lines.front().begin(), lines.front().end(), L'\t');
  const int unit = TabCharWidth(FResults);
  std::vector<int> stops{kResultTabStop};  // in dialog units, as the list takes them
  for (int column = 1; column < tabs; ++column) {
    std::vector<int> pixels;
    for (const int stop : stops) pixels.push_back(MulDiv(stop, unit, 4));
    int widest = 0;
    for (const std::wstring& line : lines) {
      if (std::count(line.begin(), line.end(), L'\t') != tabs) continue;
      std::size_t end = 0;
      for (int i = 0; i <= column; ++i) end = line.find(L'\t', end + (i > 0 ? 1 : 0));
      widest = std::max(widest, TabbedTextWidth(FResults, line.substr(0, end), pixels.data(),
                                                static_cast<int>(pixels.size())));
    }
    const int stop = (widest * 4 + unit - 1) / std::max(unit, 1) + 4 * kColumnGap;
    stops.push_back(std::max(stop, stops.back() + kResultTabStop));
  }
  SendMessageW(FResults, LB_SETTABSTOPS, static_cast<WPARAM>(stops.size()), reinterpret_cast<LPARAM>(stops.data()));
}

void WinResultsForm::ShowResults(const EndedRun& ended) {
  Fill(ended.results);
  HWND owner = GetWindow(FWindow, GW_OWNER);
  if (owner != nullptr) EnableWindow(owner, FALSE);
  ShowWindow(FWindow, SW_SHOW);
  SetForegroundWindow(FWindow);
  SetFocus(FClose);
  // The window's own loop: it dispatches every message of the thread, so the workers'
  // hand-overs and the other window's timers go on while it is up.
  FModal = true;
  MSG msg;
  while (FModal) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the program's loop
      break;
    }
    WinInvoker::Dispatch(msg);
  }
  FModal = false;
  if (owner != nullptr) EnableWindow(owner, TRUE);
  ShowWindow(FWindow, SW_HIDE);
  if (owner != nullptr) SetActiveWindow(owner);
}

void WinResultsForm::Close() { FModal = false; PostMessageW(FWindow, WM_NULL, 0, 0); }

std::vector<std::wstring> WinResultsForm::Lines() const {
  std::vector<std::wstring> lines;
  const auto count = static_cast<int>(SendMessageW(FResults, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT n = SendMessageW(FResults, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(n, 0)) + 1, L'\0');
    const LRESULT got = SendMessageW(FResults, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
    lines.push_back(std::move(text));
  }
  return lines;
}

std::wstring WinResultsForm::Banner() const { return WindowText(FShowResult); }
std::wstring WinResultsForm::Legend() const { return WindowText(FLegend); }

std::wstring WinResultsForm::Text() const {
  std::wstring out = Banner() + L'\n';
  for (const std::wstring& line : Lines()) out += line + L'\n';
  if (const std::wstring legend = Legend(); !legend.empty()) out += legend + L'\n';
  return out;
}

void WinResultsForm::CopySelected() {
  const auto index = static_cast<int>(SendMessageW(FResults, LB_GETCURSEL, 0, 0));
  if (index >= 0) SetClipboardText(FWindow, Lines()[static_cast<std::size_t>(index)]);
}

LRESULT CALLBACK WinResultsForm::ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  // Ctrl+C copies the selected line, Ctrl+Shift+C the whole window, as in the trace.
  if (msg == WM_KEYDOWN && wp == 'C' && GetKeyState(VK_CONTROL) < 0) {
    auto* self = reinterpret_cast<WinResultsForm*>(ref);
    if (GetKeyState(VK_SHIFT) < 0) SetClipboardText(self->FWindow, self->Text());
    else self->CopySelected();
    return 0;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK WinResultsForm::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<WinResultsForm*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->FWindow = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<WinResultsForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return self != nullptr ? self->Handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT WinResultsForm::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kClose:
        case IDCANCEL:
          Close();
          return 0;
        case kCopyAll:
          SetClipboardText(FWindow, Text());
          return 0;
        default:
          break;
      }
      break;
    case DM_GETDEFID:
      return MAKELRESULT(kClose, DC_HASDEFID);
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SIZE:
      if (FResults != nullptr) Layout();
      return 0;
    case WM_CTLCOLORLISTBOX:
      // The result lines sit on the window's face, as a report rather than a choice.
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wp) == FResults) {
        HMENU menu = CreatePopupMenu();
        AppendMenuW(menu, MF_STRING, 1, L"&Copy\tCtrl+C");
        AppendMenuW(menu, MF_STRING, 2, L"Copy &All\tCtrl+Shift+C");
        const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, static_cast<short>(LOWORD(lp)),
                                          static_cast<short>(HIWORD(lp)), 0, FWindow, nullptr);
        DestroyMenu(menu);
        if (chosen == 1) CopySelected();
        else if (chosen == 2) SetClipboardText(FWindow, Text());
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      FDpi = HIWORD(wp);
      ApplyFonts();
      const RECT* r = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(FWindow, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(FWindow, msg, wp, lp);
}

}  // namespace zp
