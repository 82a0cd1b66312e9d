#include "winapp/WinResultsForm.h"

#include <commctrl.h>

#include <algorithm>

#include "session/RunReport.h"
#include "session/WindowLook.h"
#include "winapp/WinDpi.h"
#include "winapp/WinFiles.h"
#include "winapp/WinHistoryForm.h"
#include "winapp/WinInvoker.h"
#include "winapp/WinLook.h"
#include "winapp/WinText.h"

namespace zp {

namespace {

const wchar_t* const kClassName = L"ZelvanProbeResults";
constexpr int kWidth = look::kResultsWidth;
constexpr int kHeight = look::kResultsHeight;
constexpr int kTopPanelHeight = 41;
constexpr int kButtonWidth = 75;
constexpr int kGap = 6;
constexpr int kResultTabStop = 50;  // tab units: the route column follows a 6-digit score
constexpr int kColumnGap = 3;       // characters between the route and its outcome
constexpr int kLinesShownAtLeast = 4;

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
  wc.lpfnWndProc = FormWindowProc<WinResultsForm>;
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
  FShowResult = Child(FWindow, L"STATIC", L"<<show result>>", SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX, kShowResult);
  FSaveReport = Child(FWindow, L"BUTTON", L"Save &Report\u2026", WS_TABSTOP | BS_PUSHBUTTON, kSaveReport);
  FHistoryButton = Child(FWindow, L"BUTTON", L"&History\u2026", WS_TABSTOP | BS_PUSHBUTTON, kHistory);
  FCopyAll = Child(FWindow, L"BUTTON", L"Copy &All", WS_TABSTOP | BS_PUSHBUTTON, kCopyAll);
  FClose = Child(FWindow, L"BUTTON", L"&Close", WS_TABSTOP | BS_DEFPUSHBUTTON, kClose);
  FResults = Child(FWindow, L"LISTBOX", L"",
                   WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT, kResults);
  FLegend = Child(FWindow, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kLegend);
  FKeyNote = Child(FWindow, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, kKeyNote);
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
  for (HWND control : {FSaveReport, FHistoryButton, FCopyAll, FClose, FResults, FLegend, FKeyNote})
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
  SendMessageW(FShowResult, WM_SETFONT, reinterpret_cast<WPARAM>(FBannerFont), TRUE);
  if (!FStops.empty()) FitColumns();
}

// The top row: the result word as wide as its text, then the buttons as wide as theirs.
int WinResultsForm::TopWidth() const {
  const auto s = [this](int v) { return Scale(v, FDpi); };
  int width = s(4) + TextWidthIn(FShowResult, WindowText(FShowResult)) + s(10) + s(8);
  for (HWND button : {FSaveReport, FHistoryButton, FCopyAll, FClose}) width += ButtonWidth(button, s(kButtonWidth), FDpi) + s(kGap);
  return width;
}

int WinResultsForm::LegendHeight(int width) const { return WrappedHeight(FLegend, width); }

// The height a static's text takes when it wraps at `width`; 0 without text.
int WinResultsForm::WrappedHeight(HWND control, int width) const {
  const std::wstring text = WindowText(control);
  if (text.empty()) return 0;
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, FFont);
  RECT r{0, 0, width, 0};
  DrawTextW(dc, text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return r.bottom;
}

void WinResultsForm::Layout() {
  RECT client{};
  GetClientRect(FWindow, &client);
  const auto s = [this](int v) { return Scale(v, FDpi); };
  const int w = client.right, h = client.bottom;
  const int button_h = s(27), top = s(kTopPanelHeight);
  int x = w - s(8);
  for (HWND button : {FClose, FCopyAll, FHistoryButton, FSaveReport}) {
    const int bw = ButtonWidth(button, s(kButtonWidth), FDpi);
    x -= bw;
    MoveWindow(button, x, (top - button_h) / 2, bw, button_h, FALSE);
    x -= s(kGap);
  }
  MoveWindow(FShowResult, s(4), s(4), std::max(x - s(8), 0), s(33), FALSE);
  // A failed key stands under the result, above the routes, so it never hides among them.
  const int key_text_h = WrappedHeight(FKeyNote, w - s(12));
  ShowWindow(FKeyNote, key_text_h > 0 ? SW_SHOW : SW_HIDE);
  MoveWindow(FKeyNote, s(6), top, w - s(12), key_text_h, FALSE);
  const int list_top = top + (key_text_h > 0 ? key_text_h + s(6) : 0);
  // The legend wraps at the window's width and takes the height its lines need.
  const int legend_text_h = LegendHeight(w - s(12));
  const int legend_h = legend_text_h > 0 ? legend_text_h + s(10) : 0;
  ShowWindow(FLegend, legend_h > 0 ? SW_SHOW : SW_HIDE);
  MoveWindow(FLegend, s(6), h - legend_h + s(4), w - s(12), legend_text_h, FALSE);
  MoveWindow(FResults, 0, list_top, w, std::max(h - list_top - legend_h, s(20)), FALSE);
  RedrawAll(FWindow);
}

void WinResultsForm::Fill(const EndedRun& ended, std::shared_ptr<RunHistory> history) {
  FEnded = ended;
  FHistory = std::move(history);
  EnableWindow(FHistoryButton, FHistory != nullptr);
  const ResultsView& results = ended.results;
  if (!results.banner.word.empty()) SetWindowTextW(FShowResult, WordsW(results.banner.word).c_str());
  SendMessageW(FResults, WM_SETREDRAW, FALSE, 0);
  SendMessageW(FResults, LB_RESETCONTENT, 0, 0);
  for (const ResultLine& line : results.lines)
    SendMessageW(FResults, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WordsW(line.Text()).c_str()));
  SetWindowTextW(FLegend, WordsW(results.legend).c_str());
  SetWindowTextW(FKeyNote, WordsW(results.key_note).c_str());
  FitColumns();
  SendMessageW(FResults, WM_SETREDRAW, TRUE, 0);
  FitWidth();
}

void WinResultsForm::FitColumns() {
  // Each column starts after the widest text before it, whatever the font: the route
  // lines are those with as many columns as the heading.
  const std::vector<std::wstring> lines = Lines();
  const auto tabs = lines.empty() ? 0 : std::count(lines.front().begin(), lines.front().end(), L'\t');
  const int unit = TabCharWidth(FResults);
  const auto pixels = [unit](const std::vector<int>& stops) {
    std::vector<int> out;
    for (const int stop : stops) out.push_back(MulDiv(stop, unit, 4));
    return out;
  };
  FStops = {kResultTabStop};  // in dialog units, as the list takes them
  for (int column = 1; column < tabs; ++column) {
    const std::vector<int> at = pixels(FStops);
    int widest = 0;
    for (const std::wstring& line : lines) {
      if (std::count(line.begin(), line.end(), L'\t') != tabs) continue;
      std::size_t end = 0;
      for (int i = 0; i <= column; ++i) end = line.find(L'\t', end + (i > 0 ? 1 : 0));
      widest = std::max(widest, TabbedTextWidth(FResults, line.substr(0, end), at.data(), static_cast<int>(at.size())));
    }
    const int stop = (widest * 4 + unit - 1) / std::max(unit, 1) + 4 * kColumnGap;
    FStops.push_back(std::max(stop, FStops.back() + kResultTabStop));
  }
  SendMessageW(FResults, LB_SETTABSTOPS, static_cast<WPARAM>(FStops.size()), reinterpret_cast<LPARAM>(FStops.data()));
  // The scroll width from the stops the list has now, so that the end of the longest
  // route or reason can be scrolled to.
  const std::vector<int> at = pixels(FStops);
  FWidest = 0;
  for (const std::wstring& line : lines)
    FWidest = std::max(FWidest, TabbedTextWidth(FResults, line, at.data(), static_cast<int>(at.size())));
  SendMessageW(FResults, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(FWidest + MeasureCharWidth(FResults)), 0);
}

void WinResultsForm::FitWidth() {
  // Wide enough for this test's lines where the screen allows, never narrower than the
  // window's own size or its top row; each test starts again from that size.
  RECT frame{}, client{};
  GetWindowRect(FWindow, &frame);
  GetClientRect(FWindow, &client);
  const int border = (frame.right - frame.left) - client.right;
  const int room = GetSystemMetrics(SM_CXSCREEN) * 9 / 10;
  const int base = std::max(Scale(kWidth, FDpi), TopWidth() + border);
  const int want = std::clamp(FWidest + 4 * MeasureCharWidth(FResults) + border, base, std::max(base, room));
  const int height = std::max<int>(frame.bottom - frame.top, Scale(kHeight, FDpi));
  SetWindowPos(FWindow, nullptr, (GetSystemMetrics(SM_CXSCREEN) - want) / 2, frame.top, want, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
}

void WinResultsForm::ShowResults(const EndedRun& ended, std::shared_ptr<RunHistory> history) {
  Fill(ended, std::move(history));
  // Its loop dispatches every message of the thread, so the workers' hand-overs and the
  // other window's timers go on while it is up.
  RunModal(FWindow, FClose, FModal);
}

void WinResultsForm::Close() { FModal = false; PostMessageW(FWindow, WM_NULL, 0, 0); }

bool WinResultsForm::SaveReport(const std::wstring& path) const { return SaveFile(path, ReportOf(FEnded, FHistory.get())); }

void WinResultsForm::SaveReportAs() {
  const auto path = AskSavePath(FWindow, {L"Save Report", L"zelvan-probe-report.html",
                                          L"HTML files (*.html)\0*.html\0All files (*)\0*.*\0", L"html"});
  if (!path || SaveReport(*path)) return;
  const std::wstring text = L"The report could not be written to " + *path + L".";
  MessageBoxW(FWindow, text.c_str(), L"Save Report", MB_OK | MB_ICONWARNING);
}

void WinResultsForm::ShowHistory() {
  WinHistoryForm form(FWindow, FHistory);
  form.ShowModal();
}

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
std::wstring WinResultsForm::KeyNote() const { return WindowText(FKeyNote); }

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

LRESULT WinResultsForm::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kClose:
        case IDCANCEL:  // Esc closes this window, as it does a dialog
          Close();
          return 0;
        case kCopyAll:
          SetClipboardText(FWindow, Text());
          return 0;
        case kSaveReport:
          SaveReportAs();
          return 0;
        case kHistory:
        case WinInvoker::kShowHistory:
          if (FHistory) ShowHistory();
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
    case WM_GETMINMAXINFO:
      if (FResults != nullptr) {
        const int line = static_cast<int>(SendMessageW(FResults, LB_GETITEMHEIGHT, 0, 0));
        SetMinimumSize(FWindow, lp, {TopWidth(), Scale(kTopPanelHeight, FDpi) + kLinesShownAtLeast * line +
                                                     LegendHeight(TopWidth() - Scale(12, FDpi)) + Scale(10, FDpi)});
      }
      return 0;
    case WM_CTLCOLORLISTBOX:
      // The result lines sit on the window's face, as a report rather than a choice.
    case WM_CTLCOLORSTATIC:
      return SystemColours(wp, COLOR_BTNTEXT, COLOR_BTNFACE);
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
      MoveToSuggested(FWindow, lp);
      FitWidth();
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(FWindow, msg, wp, lp);
}

}  // namespace zp
