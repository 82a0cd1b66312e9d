#include "winapp/WinProbeForm.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "run/ProgressText.h"
#include "run/ConnectionChoice.h"
#include "run/RunWords.h"
#include "run/TraceLine.h"
#include "framework/Conversions.h"
#include "winapp/WinDpi.h"
#include "winapp/WinErrorBox.h"
#include "winapp/WinInvoker.h"
#include "winapp/WinResultBanner.h"
#include "winapp/WinResultsForm.h"
#include "winapp/WinText.h"
#include "winapp/WinTraceList.h"

namespace zp {

namespace {

const wchar_t* const kClassName = L"ZelvanProbeWizard";
constexpr int kWidth = 621;
constexpr int kHeight = 464;
constexpr UINT_PTR kPollTimer = 1;
constexpr UINT kPollMs = 1000;
constexpr UINT_PTR kFinishCloseTimer = 2;
// Closing waits this long for workers before leaving them to the end of the process.
constexpr int kCloseWaitMs = 1000;

const wchar_t* const kBegin = L"Press Test to Begin";
const wchar_t* const kServerMissing = L"Type the route server's name or address in the Server box.";

}  // namespace

WinProbeForm::WinProbeForm() : FInvoker(std::make_shared<WinInvoker>()) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Zelvan Probe", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                  kWidth, kHeight, nullptr, nullptr, wc.hInstance, this);
  Build(FWindow);
  FTrace = std::make_unique<WinTraceList>(Control(kTrace));
  // Centred on the screen, at the size of this monitor's DPI.
  const int w = Scale(kWidth, FDpi), h = Scale(kHeight, FDpi);
  SetWindowPos(FWindow, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w,
               h, SWP_NOZORDER | SWP_NOACTIVATE);
  Layout();
  ShowPage(Page::Welcome);
  SetThreadLine(kBegin);
  SetText(kShowState, L"");
  SetText(kShowStatus, L"");
}

WinProbeForm::~WinProbeForm() {
  FClosing = true;
  FInvoker->Close();
  for (auto& run : FRuns) run->Stop();
  FRun = nullptr;
  FRuns.clear();  // waits for each worker: the closed invoker lets every hand-over return at once
  FTrace.reset();
  FOwnResults.reset();
  if (FWindow != nullptr) DestroyWindow(FWindow);
}

LRESULT CALLBACK WinProbeForm::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<WinProbeForm*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->FWindow = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<WinProbeForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  return self != nullptr ? self->Handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
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
      auto dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      if (reinterpret_cast<HWND>(lp) == Control(kShowThread) && FBanner != nullptr) SetTextColor(dc, FBannerColour);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
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
      if (FBanner != nullptr) SendMessageW(Control(kShowThread), WM_SETFONT, reinterpret_cast<WPARAM>(FBannerFont), TRUE);
      FTrace->FontChanged();
      const RECT* r = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(FWindow, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE);
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
    case IDCANCEL:  // Escape
      PostMessageW(FWindow, WM_CLOSE, 0, 0);
      break;
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

int WinProbeForm::ChosenItem() const { return FChosen; }

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
  // Test waits for the worker's start while dispatching messages: a click that arrives
  // inside that wait, or inside a box a worker has open, is not a new test.
  if (FStarting || FClosing || FInvoker->ServingDepth() > 0) return;
  FreeEndedRuns();
  Busy busy(this);

  const int item = ChosenItem();
  if (item < 0 || item > 2) {
    const std::wstring chosen = item >= 0 ? Text(kSelectItem0 + item) : std::wstring();
    ShowError(chosen + L" is not supported at this time");
    return;
  }
  const std::string letter = RouteLetterFor(item, Latin1(Text(kRouteCode)));
  if (ServerMissing()) return;

  RunOptions options;
  options.settings.server = Latin1(Text(kServer));
  const std::wstring port_text = Text(kPort);
  options.settings.port = static_cast<std::int32_t>(HexToIntDef(Latin1(port_text)));
  options.settings.route_code = letter;
  options.factory = FFactory;
  options.error_box = [this](const std::string& text) { ShowFatalErrorBox(text); };
  SYSTEMTIME now;
  GetLocalTime(&now);
  FTrace->StartTest(++FTestCount, options.settings, port_text, now);
  FPhaseValid = false;

  auto run = std::make_unique<ZProbeRun>(
      std::move(options), [this](const TraceLine& line) { AddTraceLine(line); }, FInvoker);
  ZProbeRun* started = run.get();
  FRuns.push_back(std::move(run));
  FRun = started;

  FStarting = true;
  const bool had_focus = GetFocus() == Control(kProcessTest);
  Disable(kProcessTest, kTrace);
  const bool ok = started->Start();
  FStarting = false;
  EnableWindow(Control(kProcessTest), TRUE);
  if (had_focus && GetFocus() == Control(kTrace)) SetFocus(Control(kProcessTest));
  // Only the newest run is followed, and only while the window stays open.
  if (ok && !FClosing && FRun == started) {
    SetTimer(FWindow, kPollTimer, kPollMs, nullptr);
    FTimerOn = true;
    EnableWindow(Control(kProcessStop), TRUE);
    ShowProgressBar(true);
    ShowRun(started->Snapshot());
  }
  if (FClosing) FinishClose();
}

void WinProbeForm::tmrProcessTimer() {
  if (FRun == nullptr) return;
  Busy busy(this);
  const bool running = FRun->Poll();
  const RunSnapshot run = FRun->Snapshot();
  SetThreadLine(BytesW(run.worker_name));
  SetText(kShowState, BytesW(run.state_name));
  SetText(kShowStatus, BytesW(EscapeControls(run.status_text)));  // may quote a peer
  ShowRun(run);
  if (running) return;
  FRun = nullptr;
  EndTest(run);
  if (FClosing) FinishClose();
}

void WinProbeForm::ShowRun(const RunSnapshot& run) {
  if (!FPhaseValid || run.phase != FPhase) {
    FPhase = run.phase;
    FPhaseSince = GetTickCount64();
    FPhaseValid = true;
  }
  const double seconds = static_cast<double>(GetTickCount64() - FPhaseSince) / 1000.0;
  SetText(kProgressText, WordsW(ProgressText(run, seconds)));
  const bool known = run.phase == RunPhase::ProfilingRoutes && run.current_route > 0 &&
                     run.RouteCount() >= run.current_route;
  // Otherwise busy: the length of this phase is unknown.
  SetProgress(known ? run.current_route - 1 : 0, known ? run.RouteCount() : 0);
}

void WinProbeForm::ShowProgressBar(bool shown) {
  FProgressShown = shown;
  ShowWindow(Control(kProgressBar), shown && FPage == Page::Process ? SW_SHOW : SW_HIDE);
}

void WinProbeForm::EndTest(const RunSnapshot& run) {
  FLastRun = run;
  FResultCode = run.result_code;
  KillTimer(FWindow, kPollTimer);
  FTimerOn = false;
  SetText(kShowState, L"");
  SetText(kShowStatus, L"");
  Disable(kProcessStop, kProcessTest);
  SetText(kProgressText, L"");
  ShowProgressBar(false);
  // A stopped test shows what it had found under its own banner, whatever code the
  // worker had set by then; an unknown result code has neither banner nor window.
  if (*RunBanner(run) != '\0') {
    ShowBanner(run);
    if (FClosing) return;
    if (FResults == nullptr) {
      if (!FOwnResults) FOwnResults = std::make_unique<WinResultsForm>(FWindow);
      FResults = FOwnResults.get();
    }
    FResults->ShowResults(run);
  }
}

void WinProbeForm::SetThreadLine(const std::wstring& text) {
  FBanner = nullptr;
  SendMessageW(Control(kShowThread), WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
  SetText(kShowThread, text);
  FIconShown = false;
  ShowWindow(Control(kResultIcon), SW_HIDE);
  Layout();
}

void WinProbeForm::ShowBanner(const RunSnapshot& run) {
  const WinBannerLook look = BannerLookOf(run, DarkFace());
  FBannerColour = look.colour;
  FBanner = RunBanner(run);
  SendMessageW(Control(kShowThread), WM_SETFONT, reinterpret_cast<WPARAM>(FBannerFont), FALSE);
  SetText(kShowThread, WordsW(FBanner));
  SendMessageW(Control(kResultIcon), STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(nullptr, look.icon)), 0);
  SetWindowTextW(Control(kResultIcon), WordsW(RunBannerWord(run)).c_str());  // its name for a screen reader
  FIconShown = true;
  if (FPage == Page::Process) ShowWindow(Control(kResultIcon), SW_SHOW);
  Layout();
}

bool WinProbeForm::ServerMissing() {
  // Without a route server the worker could only fail: say what is missing instead.
  const std::wstring server = Text(kServer);
  if (server.find_first_not_of(L" \t") != std::wstring::npos) return false;
  MessageBoxW(FWindow, kServerMissing, L"Zelvan Probe", MB_OK | MB_ICONWARNING);
  if (FClosing) return true;
  ShowPage(Page::Select);
  SetFocus(Control(kServer));
  return true;
}

void WinProbeForm::Disable(int id, int focus_next) {
  // A disabled button keeps no focus: hand it on before the keyboard is lost.
  if (GetFocus() == Control(id)) SetFocus(Control(focus_next));
  EnableWindow(Control(id), FALSE);
}

void WinProbeForm::btnProcessBackClick() {
  // The worker of a running test is not stopped: the poll and its lines go on.
  FTrace->Clear(/*keep_last_test=*/FRun != nullptr);
  SetThreadLine(kBegin);
  ShowPage(Page::Select);
}

void WinProbeForm::btnProcessStopClick() {
  if (FRun == nullptr) return;
  FRun->Stop();
  Disable(kProcessStop, kProcessTest);
}

void WinProbeForm::AddTraceLine(const TraceLine& line) { FTrace->Append(line); }

void WinProbeForm::ShowFatalErrorBox(const std::string& text) {
  if (FClosing) return;
  std::wstring shown = BytesW(text);
  for (std::size_t at = shown.find(L"\r\n"); at != std::wstring::npos; at = shown.find(L"\r\n", at))
    shown.erase(at, 1);
  WinErrorBox box;
  FErrorBoxes.push_back(&box);
  box.Show(FWindow, shown);
  std::erase(FErrorBoxes, &box);
}

void WinProbeForm::ShowError(const std::wstring& message) {
  MessageBoxW(FWindow, message.c_str(), L"Zelvan Probe", MB_OK | MB_ICONERROR);
}

void WinProbeForm::SetText(int id, const std::wstring& text) { SetWindowTextW(Control(id), text.c_str()); }

std::wstring WinProbeForm::Text(int id) const { return WindowText(Control(id)); }

bool WinProbeForm::CanFreeRuns() const { return FBusy == 0 && FInvoker->ServingDepth() == 0; }

void WinProbeForm::BeginClose() {
  FClosing = true;
  KillTimer(FWindow, kPollTimer);
  FTimerOn = false;
  ShowWindow(FWindow, SW_HIDE);
  // From here a worker's hand-over returns at once, so no worker can wait on us.
  FInvoker->Close();
  for (auto& run : FRuns) run->Stop();
  // A box open on the stack keeps its worker waiting until it closes.
  for (WinErrorBox* box : FErrorBoxes) box->Dismiss();
  if (FResults != nullptr && FResults->IsShowing()) FResults->Close();
  FinishClose();
}

void WinProbeForm::FinishClose() {
  if (!FClosing) return;
  KillTimer(FWindow, kFinishCloseTimer);
  if (!CanFreeRuns()) {
    SetTimer(FWindow, kFinishCloseTimer, 10, nullptr);
    return;
  }
  StopWorkers(kCloseWaitMs);
  if (FQuitOnClose) {
    FQuitOnClose = false;
    PostQuitMessage(0);
  }
}

bool WinProbeForm::StopWorkers(int ms) {
  FInvoker->Close();
  KillTimer(FWindow, kPollTimer);
  FTimerOn = false;
  for (auto& run : FRuns) run->Stop();
  if (!CanFreeRuns()) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (auto& run : FRuns) {
    while (!run->WorkerFinished() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (FRun != nullptr && FRun->WorkerFinished()) FRun = nullptr;
  FreeEndedRuns();
  return FRuns.empty();
}

void WinProbeForm::FreeEndedRuns() {
  if (!CanFreeRuns()) return;
  std::erase_if(FRuns, [this](const std::unique_ptr<ZProbeRun>& run) {
    return run->WorkerFinished() && run.get() != FRun;
  });
}

}  // namespace zp
