#include "winapp/WinProbeForm.h"

#include <commctrl.h>


#include "session/WindowLook.h"
#include "run/ConnectionChoice.h"
#include "run/TraceLine.h"
#include "winapp/WinDpi.h"
#include "winapp/WinErrorBox.h"
#include "winapp/WinHistoryForm.h"
#include "winapp/WinInvoker.h"
#include "winapp/WinLook.h"
#include "winapp/WinResultBanner.h"
#include "winapp/WinResultsForm.h"
#include "winapp/WinText.h"
#include "winapp/WinTraceList.h"

namespace zp {

namespace {

const wchar_t* const kClassName = L"ZelvanProbeWizard";
constexpr int kWidth = look::kMainWidth;
constexpr int kHeight = look::kMainHeight;
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = look::kPollMs;
constexpr UINT_PTR kFinishCloseTimer = 2;
constexpr UINT kHistoryMenuItem = 0x0710;  // a system menu command: the low four bits stay clear

COLORREF Colour(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace

WinProbeForm::WinProbeForm() : FInvoker(std::make_shared<WinInvoker>()) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = FormWindowProc<WinProbeForm>;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Zelvan Probe", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                  kWidth, kHeight, nullptr, nullptr, wc.hInstance, this);
  Build(FWindow);
  // The window has no menu bar: the History window is on Ctrl+H and the window menu.
  HMENU system = GetSystemMenu(FWindow, FALSE);
  AppendMenuW(system, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(system, MF_STRING, kHistoryMenuItem, L"&History\u2026\tCtrl+H");
  FTrace = std::make_unique<WinTraceList>(Control(kTrace));
  SessionOptions options;
  options.on_line = [this](const TraceLine& line) { AddTraceLine(line); };
  options.on_test_start = [this](const TestStart& start) { FTrace->StartTest(start); };
  options.error_box = [this](const std::string& text) { ShowFatalErrorBox(text); };
  FSession = std::make_unique<ProbeSession>(FInvoker, std::move(options));
  // Centred on the screen, at the size of this monitor's DPI.
  const int w = Scale(kWidth, FDpi), h = Scale(kHeight, FDpi);
  SetWindowPos(FWindow, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w,
               h, SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
  ShowPage(Page::Welcome);
  Draw(FSession->Poll());
}

WinProbeForm::~WinProbeForm() {
  // The session stops its tests and waits for their workers: the closed invoker lets every
  // hand-over return at once.
  FSession.reset();
  FTrace.reset();
  FOwnResults.reset();
  if (FWindow != nullptr) DestroyWindow(FWindow);
}

LRESULT WinProbeForm::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      Command(LOWORD(wp), HIWORD(wp));
      return 0;
    case DM_GETDEFID:
      // Enter presses the default button of the page showing.
      return MAKELRESULT(FPage == Page::Welcome ? kWelcomeNext : FPage == Page::Select ? kSelectNext : kProcessTest,
                         DC_HASDEFID);
    case WM_TIMER:
      if (wp == kPollTimer) tmrProcessTimer();
      else if (wp == kFinishCloseTimer) FinishClose();
      return 0;
    case WM_CTLCOLORSTATIC: {
      // Statics, the read-only welcome text, the radio buttons and the group box: the
      // system's text on the system's face, so that a high-contrast scheme reaches them.
      const LRESULT brush = SystemColours(wp, COLOR_BTNTEXT, COLOR_BTNFACE);
      if (reinterpret_cast<HWND>(lp) == Control(kShowThread) && BannerShown())
        SetTextColor(reinterpret_cast<HDC>(wp), FBannerColour);
      return brush;
    }
    case WM_CTLCOLORLISTBOX:
      return SystemColours(wp, COLOR_WINDOWTEXT, COLOR_WINDOW);
    case WM_GETMINMAXINFO:
      if (Control(kTrace) != nullptr) SetMinimumSize(FWindow, lp, MinimumClientSize());
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == kHistoryMenuItem) {
        ShowHistory();
        return 0;
      }
      break;
    case WM_DRAWITEM:
      if (wp == static_cast<WPARAM>(kTrace) && FTrace) {
        FTrace->DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(FWindow, &ps);
      PaintFrame(dc);
      EndPaint(FWindow, &ps);
      return 0;
    }
    case WM_SIZE:
      if (Control(kTrace) != nullptr) Layout();
      return 0;
    case WM_DPICHANGED: {
      ApplyFonts(HIWORD(wp));
      if (BannerShown()) SendMessageW(Control(kShowThread), WM_SETFONT, reinterpret_cast<WPARAM>(FBannerFont), TRUE);
      FTrace->FontChanged();
      MoveToSuggested(FWindow, lp);
      Layout();
      return 0;
    }
    case WM_CLOSE:
      BeginClose();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(FWindow, msg, wp, lp);
}

void WinProbeForm::Command(int id, int code) {
  if (id >= kSelectItem0 && id < kSelectItem0 + kItemCount) {
    if (code == BN_CLICKED && SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED) rgSelectClick(id - kSelectItem0);
    return;
  }
  if (code != BN_CLICKED) return;
  switch (id) {
    case kWelcomeNext: ShowPage(Page::Select); break;
    case kSelectBack: ShowPage(Page::Welcome); break;
    case kSelectNext:
      if (IsWindowEnabled(Control(kSelectNext))) ShowPage(Page::Process);
      break;
    case kProcessBack: btnProcessBackClick(); break;
    case kProcessTest: btnProcessTestClick(); break;
    case kProcessStop: btnProcessStopClick(); break;
    case kWelcomeClose:
    case kSelectClose:
    case kProcessClose:
      PostMessageW(FWindow, WM_CLOSE, 0, 0);
      break;
    case WinInvoker::kShowHistory:
      ShowHistory();
      break;
    // Esc (IDCANCEL) closes dialogs, never this window: a stray key would end a test and
    // lose its trace.
    default: break;
  }
}

void WinProbeForm::ShowPage(Page page) {
  ShowPageControls(page);
  if (page == Page::Process) {
    ShowWindow(Control(kResultIcon), FIconShown ? SW_SHOW : SW_HIDE);
    ShowWindow(Control(kProgressBar), FProgressShown ? SW_SHOW : SW_HIDE);
  }
  HWND focus = page == Page::Welcome ? Control(kWelcomeNext)
               : page == Page::Select ? Control(FChosen >= 0 ? kSelectItem0 + FChosen : kSelectItem0)
                                      : Control(kProcessTest);
  SetFocus(focus);
  // The page's default button carries the default look.
  for (const int id : {kWelcomeNext, kSelectNext, kProcessTest})
    SendMessageW(Control(id), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void WinProbeForm::rgSelectClick(int item) {
  if (item == FChosen) return;  // the item already chosen changes nothing
  FChosen = item;
  EnableWindow(Control(kSelectNext), TRUE);
  if (item >= kConnectionChoices) return;
  const ConnectionDefaults defaults = DefaultsFor(item);
  SetText(kServer, BytesW(defaults.server));
  SetText(kPort, BytesW(defaults.port_text));
  SetText(kRouteCode, BytesW(defaults.route_code));
}

void WinProbeForm::btnProcessTestClick() {
  if (FSession->Running() || FSession->Closing()) return;
  TestRequest request;
  request.selection = FChosen;
  if (FChosen >= 0) request.selection_text = Latin1(Text(kSelectItem0 + FChosen));
  request.server = Latin1(Text(kServer));
  request.port_text = Latin1(Text(kPort));
  request.route_code = Latin1(Text(kRouteCode));

  const bool had_focus = GetFocus() == Control(kProcessTest);
  Disable(kProcessTest, kTrace);
  // The start-up wait dispatches messages: a close may come inside it.
  const ProbeSession::StartAnswer answer = FSession->StartTest(request);
  if (FSession->Closing()) return FinishClose();
  if (answer.refusal != TestRefusal::None) {
    EnableWindow(Control(kProcessTest), TRUE);
    return ShowRefusal(answer.refusal, answer.message);
  }
  Draw(answer.view);
  if (had_focus && GetFocus() == Control(kTrace) && IsWindowEnabled(Control(kProcessTest)))
    SetFocus(Control(kProcessTest));
}

void WinProbeForm::tmrProcessTimer() { Draw(FSession->Poll()); }

void WinProbeForm::Draw(const SessionView& view) {
  const StatusView& status = view.status;
  if (view.banner.kind != BannerKind::None && !view.running) ShowBanner(view.banner);
  else SetThreadLine(WordsW(status.thread));
  SetText(kShowState, WordsW(status.state));
  SetText(kProgressText, WordsW(status.phase));
  SetText(kShowStatus, WordsW(status.status));
  ShowProgressBar(status.progress_shown);
  // A maximum of 0 makes the bar busy: the length of the phase is unknown.
  SetProgress(status.progress_value, status.progress_maximum);
  Enable(kProcessStop, view.stop_enabled, kProcessTest);
  Enable(kProcessTest, view.test_enabled, kTrace);
  SetPollTimer(view.running);
  if (view.ended) EndTest(*view.ended);
}

void WinProbeForm::SetPollTimer(bool on) {
  if (on == FTimerOn) return;
  FTimerOn = on;
  if (on) SetTimer(FWindow, kPollTimer, kPollMs, nullptr);
  else KillTimer(FWindow, kPollTimer);
}

void WinProbeForm::ShowProgressBar(bool shown) {
  FProgressShown = shown;
  ShowWindow(Control(kProgressBar), shown && FPage == Page::Process ? SW_SHOW : SW_HIDE);
}

void WinProbeForm::EndTest(const EndedRun& ended) {
  FLastRun = ended.run;
  // An unknown result code has neither banner nor window.
  if (ended.results.banner.kind == BannerKind::None || FSession->Closing()) return;
  if (FResults == nullptr) {
    if (!FOwnResults) FOwnResults = std::make_unique<WinResultsForm>(FWindow);
    FResults = FOwnResults.get();
  }
  FResults->ShowResults(ended, FSession->History());
}

void WinProbeForm::ShowHistory() {
  if (!IsWindowEnabled(FWindow)) return;  // a modal window of its own is up
  WinHistoryForm form(FWindow, FSession->History());
  form.ShowModal();
}

void WinProbeForm::SetThreadLine(const std::wstring& text) {
  FBanner = BannerView();
  SendMessageW(Control(kShowThread), WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  SetText(kShowThread, text);
  FIconShown = false;
  ShowWindow(Control(kResultIcon), SW_HIDE);
  Layout();
}

void WinProbeForm::ShowBanner(const BannerView& banner) {
  FBanner = banner;
  FBannerColour = Colour(DarkFace() ? banner.on_dark : banner.on_light);
  SendMessageW(Control(kShowThread), WM_SETFONT, reinterpret_cast<WPARAM>(FBannerFont), FALSE);
  SetText(kShowThread, WordsW(banner.spaced));
  SendMessageW(Control(kResultIcon), STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, BannerIcon(banner.kind))), 0);
  SetWindowTextW(Control(kResultIcon), WordsW(banner.word).c_str());  // its name for a screen reader
  FIconShown = true;
  if (FPage == Page::Process) ShowWindow(Control(kResultIcon), SW_SHOW);
  Layout();
}

void WinProbeForm::ShowRefusal(TestRefusal refusal, const std::string& message) {
  if (refusal == TestRefusal::TestRunning || refusal == TestRefusal::Closing) return;
  const bool error = refusal == TestRefusal::Unsupported;
  MessageBoxW(FWindow, WordsW(message).c_str(), L"Zelvan Probe", MB_OK | (error ? MB_ICONERROR : MB_ICONWARNING));
  if (error || FSession->Closing()) return;
  ShowPage(Page::Select);
  const int field = refusal == TestRefusal::ServerMissing ? kServer : kPort;
  SetFocus(Control(field));
  SendMessageW(Control(field), EM_SETSEL, 0, -1);
}

void WinProbeForm::Disable(int id, int focus_next) { Enable(id, false, focus_next); }

void WinProbeForm::Enable(int id, bool enabled, int focus_next) {
  // A disabled button keeps no focus: hand it on before the keyboard is lost.
  if (!enabled && GetFocus() == Control(id)) SetFocus(Control(focus_next));
  EnableWindow(Control(id), enabled ? TRUE : FALSE);
}

void WinProbeForm::btnProcessBackClick() {
  // The worker of a running test is not stopped: the poll and its lines go on.
  FTrace->Clear(/*keep_last_test=*/FSession->Running());
  FSession->ForgetBanner();
  Draw(FSession->Poll());
  ShowPage(Page::Select);
}

void WinProbeForm::btnProcessStopClick() {
  FSession->StopTest();
  Draw(FSession->Poll());
}

void WinProbeForm::AddTraceLine(const TraceLine& line) { FTrace->Append(line); }

void WinProbeForm::ShowFatalErrorBox(const std::string& text) {
  std::wstring shown = BytesW(text);
  for (std::size_t at = shown.find(L"\r\n"); at != std::wstring::npos; at = shown.find(L"\r\n", at))
    shown.erase(at, 1);
  WinErrorBox box;
  FErrorBoxes.push_back(&box);
  box.Show(FWindow, shown);
  std::erase(FErrorBoxes, &box);
}

void WinProbeForm::SetText(int id, const std::wstring& text) { SetWindowTextW(Control(id), text.c_str()); }

std::wstring WinProbeForm::Text(int id) const { return WindowText(Control(id)); }

void WinProbeForm::BeginClose() {
  SetPollTimer(false);
  ShowWindow(FWindow, SW_HIDE);
  // A box open on the stack keeps its worker waiting until it closes.
  for (WinErrorBox* box : FErrorBoxes) box->Dismiss();
  if (FResults != nullptr && FResults->IsShowing()) FResults->Close();
  FinishClose();
}

void WinProbeForm::FinishClose() {
  KillTimer(FWindow, kFinishCloseTimer);
  // Whatever is still in use on the stack is freed once it has returned.
  if (!FSession->Close()) {
    SetTimer(FWindow, kFinishCloseTimer, 10, nullptr);
    return;
  }
  if (FQuitOnClose) {
    FQuitOnClose = false;
    PostQuitMessage(0);
  }
}

bool WinProbeForm::StopWorkers() {
  SetPollTimer(false);
  return FSession->Close();
}

}  // namespace zp
