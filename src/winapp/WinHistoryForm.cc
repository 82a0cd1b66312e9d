#include "winapp/WinHistoryForm.h"

#include <algorithm>

#include "framework/Format.h"
#include "history/RunHistory.h"
#include "report/PlotSvg.h"
#include "run/TraceLine.h"
#include "winapp/WinDpi.h"
#include "winapp/WinLook.h"
#include "winapp/WinPlotPainter.h"
#include "winapp/WinText.h"

namespace zp {

namespace {

const wchar_t* const kClassName = L"ZelvanProbeHistory";
const wchar_t* const kPlotClass = L"ZelvanProbePlot";
constexpr int kWidth = 1000, kHeight = 640;
constexpr int kMinWidth = 560, kMinHeight = 420;
constexpr std::size_t kRunColumns = 4;  // time, result, failed routes, settings

HWND Child(HWND parent, const wchar_t* kind, const wchar_t* text, DWORD style, int id, DWORD ex = 0) {
  return CreateWindowExW(ex, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

template <typename Proc>
void Register(const wchar_t* name, Proc proc, HBRUSH face) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = face;
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

// A run as one line of the list: start, result, failed routes, settings.
std::wstring RunLine(const HistoryRun& run) {
  std::string failed;
  for (const std::string& name : run.FailedRoutes()) failed += (failed.empty() ? "" : ", ") + EscapeControls(name);
  return WordsW(UtcTimeText(run.start_utc_ms) + "\t" + run.banner + "\t" + (failed.empty() ? "none" : failed) + "\t" +
                EscapeControls(run.settings.server) + Format(":%X ", static_cast<unsigned>(run.settings.port)) +
                EscapeControls(run.settings.route_code));
}

}  // namespace

WinHistoryForm::WinHistoryForm(HWND owner, std::shared_ptr<RunHistory> history) : FHistory(std::move(history)) {
  Register(kClassName, FormWindowProc<WinHistoryForm>, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  Register(kPlotClass, PlotProc, nullptr);
  FWindow = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClassName, L"History",
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MAXIMIZEBOX | WS_CLIPCHILDREN, 0, 0,
                            kWidth, kHeight, owner, nullptr, GetModuleHandleW(nullptr), this);
  FDpi = DpiOf(FWindow);
  Child(FWindow, kPlotClass, L"Score per route", 0, kScore);
  Child(FWindow, kPlotClass, L"Profiling time per route", 0, kTime);
  Child(FWindow, L"LISTBOX", L"Runs",
        WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT, kRuns,
        WS_EX_CLIENTEDGE);
  Child(FWindow, L"STATIC", L"", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, kNote);
  Child(FWindow, L"BUTTON", L"&Close", WS_TABSTOP | BS_DEFPUSHBUTTON, kClose);
  ApplyFonts();
  const int w = std::min(Scale(kWidth, FDpi), GetSystemMetrics(SM_CXSCREEN));
  const int h = std::min(Scale(kHeight, FDpi), GetSystemMetrics(SM_CYSCREEN));
  SetWindowPos(FWindow, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w,
               h, SWP_NOZORDER | SWP_NOACTIVATE);
  Reload();
  Layout();
}

WinHistoryForm::~WinHistoryForm() {
  if (FWindow != nullptr) DestroyWindow(FWindow);
  if (FFont != nullptr) DeleteObject(FFont);
}

void WinHistoryForm::ApplyFonts() {
  if (FFont != nullptr) DeleteObject(FFont);
  FFont = MakeUiFont(FDpi);
  for (HWND child = GetWindow(FWindow, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
}

void WinHistoryForm::Reload() {
  std::vector<HistoryRun> runs;
  if (!RunHistory::Available()) {
    FNote = WordsW(RunHistory::UnavailableText());
  } else if (!FHistory) {
    FNote = L"No history is kept.";
  } else if (auto recent = FHistory->Recent(kRunsShown)) {
    runs.assign(recent->rbegin(), recent->rend());
    FNote = WordsW(Format("%zu runs recorded in ", runs.size()) + FHistory->Path());
  } else {
    FNote = WordsW("The history cannot be read: " + FHistory->LastError());
  }
  SetWindowTextW(ControlById(kNote), FNote.c_str());
  FScore = MakePlot(runs, PlotModel::Measure::Score);
  FTime = MakePlot(runs, PlotModel::Measure::ProfileSeconds);
  FillRuns(runs);
  RedrawAll(FWindow);
}

void WinHistoryForm::FillRuns(const std::vector<HistoryRun>& runs) {
  HWND list = ControlById(kRuns);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  std::vector<std::wstring> lines;
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) lines.push_back(RunLine(*it));
  // Each column starts after the widest text of the one before it, in this font.
  const int gap = 2 * MeasureCharWidth(list);
  std::vector<int> widths(kRunColumns - 1, 0);
  for (const std::wstring& line : lines) {
    std::size_t from = 0;
    for (std::size_t column = 0; column + 1 < kRunColumns; ++column) {
      const std::size_t tab = line.find(L'\t', from);
      widths[column] = std::max(widths[column], TextWidthIn(list, line.substr(from, tab - from)) + gap);
      from = tab == std::wstring::npos ? line.size() : tab + 1;
    }
  }
  const int unit = std::max(TabCharWidth(list), 1);
  std::vector<int> stops;  // in dialog units, as the list takes them
  int x = 0;
  for (const int width : widths) stops.push_back((x += width) * 4 / unit + 1);
  SendMessageW(list, LB_SETTABSTOPS, stops.size(), reinterpret_cast<LPARAM>(stops.data()));
  std::vector<int> pixels;
  for (const int stop : stops) pixels.push_back(MulDiv(stop, unit, 4));
  int widest = 0;
  for (const std::wstring& line : lines) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    widest = std::max(widest, TabbedTextWidth(list, line, pixels.data(), static_cast<int>(pixels.size())));
  }
  SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + gap), 0);
}

void WinHistoryForm::Layout() {
  RECT client{};
  GetClientRect(FWindow, &client);
  const auto s = [this](int v) { return Scale(v, FDpi); };
  const int w = client.right, h = client.bottom, m = s(8);
  HWND close = ControlById(kClose);
  const int bw = ButtonWidth(close, s(75), FDpi), bh = s(27);
  const int bottom = h - m - bh;
  const int charts_w = (w - 3 * m) * 3 / 5, chart_h = (bottom - 3 * m) / 2;
  MoveWindow(ControlById(kScore), m, m, charts_w, chart_h, FALSE);
  MoveWindow(ControlById(kTime), m, 2 * m + chart_h, charts_w, chart_h, FALSE);
  MoveWindow(ControlById(kRuns), 2 * m + charts_w, m, w - 3 * m - charts_w, bottom - 2 * m, FALSE);
  MoveWindow(ControlById(kNote), m, bottom + (bh - s(16)) / 2, w - 3 * m - bw, s(16), FALSE);
  MoveWindow(close, w - m - bw, bottom, bw, bh, FALSE);
  RedrawAll(FWindow);
}

std::wstring WinHistoryForm::Note() const { return WindowText(ControlById(kNote)); }

void WinHistoryForm::PaintPlot(HWND plot, HDC dc) const {
  RECT area{};
  GetClientRect(plot, &area);
  WinPlotPainter(Plot(GetDlgCtrlID(plot)), area, FDpi).Paint(dc, FFont);
}

void WinHistoryForm::ShowTip(HWND plot, POINT where) {
  RECT area{};
  GetClientRect(plot, &area);
  const std::string tip = WinPlotPainter(Plot(GetDlgCtrlID(plot)), area, FDpi).TipAt(where);
  const std::wstring shown = tip.empty() ? FNote : WordsW(tip);
  if (shown != Note()) SetWindowTextW(ControlById(kNote), shown.c_str());
}

void WinHistoryForm::ShowModal() { RunModal(FWindow, ControlById(kClose), FModal); }

void WinHistoryForm::Close() {
  FModal = false;
  PostMessageW(FWindow, WM_NULL, 0, 0);
}

LRESULT CALLBACK WinHistoryForm::PlotProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<WinHistoryForm*>(GetWindowLongPtrW(GetParent(hwnd), GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_ERASEBKGND: return 1;  // the painting covers it all
    case WM_PAINT: {
      // Drawn off screen and copied at once, so that a resize does not flicker.
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT area{};
      GetClientRect(hwnd, &area);
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<int>(area.right, 1), std::max<int>(area.bottom, 1));
      HGDIOBJ old = SelectObject(memory, bitmap);
      self->PaintPlot(hwnd, memory);
      BitBlt(dc, 0, 0, area.right, area.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      self->PaintPlot(hwnd, reinterpret_cast<HDC>(wp));
      return 0;
    case WM_MOUSEMOVE:
      self->ShowTip(hwnd, {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT WinHistoryForm::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == kClose || LOWORD(wp) == IDCANCEL) Close();
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(kClose, DC_HASDEFID);
    case WM_CLOSE:
      Close();
      return 0;
    case WM_SIZE:
      if (ControlById(kClose) != nullptr) Layout();
      return 0;
    case WM_GETMINMAXINFO:
      SetMinimumSize(FWindow, lp, {Scale(kMinWidth, FDpi), Scale(kMinHeight, FDpi)});
      return 0;
    case WM_CTLCOLORSTATIC:
      return SystemColours(wp, COLOR_BTNTEXT, COLOR_BTNFACE);
    case WM_CTLCOLORLISTBOX:
      return SystemColours(wp, COLOR_WINDOWTEXT, COLOR_WINDOW);
    case WM_DPICHANGED: {
      FDpi = HIWORD(wp);
      ApplyFonts();
      Reload();  // the columns follow the new font
      MoveToSuggested(FWindow, lp);
      Layout();
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(FWindow, msg, wp, lp);
}

}  // namespace zp
