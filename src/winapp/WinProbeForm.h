#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "session/ProbeSession.h"
#include "winapp/WinProbeFormUi.h"

namespace zp {

class RunHistory;
class WinErrorBox;
class WinInvoker;
class WinResultsForm;
class WinTraceList;

// The program's main window on Windows, built from the system's own controls: the
// three-page wizard (welcome, choice of connection, process) that runs one probe test
// per Test press, lists its trace, polls its run record once a second and shows the
// result. It behaves as the Qt window does, over the same run model.
//
// Runs are owned here. Closing the window stops them; destroying it ends them.
class WinProbeForm : public WinProbeFormUi {
 public:
  WinProbeForm();
  ~WinProbeForm();
  WinProbeForm(const WinProbeForm&) = delete;
  WinProbeForm& operator=(const WinProbeForm&) = delete;

  HWND Window() const { return FWindow; }
  // The results window used by every test; it must outlive the tests this window runs.
  // Without one the window makes its own.
  void SetResultsForm(WinResultsForm* results) { FResults = results; }
  void SetWorkerFactory(WorkerFactory factory) { FSession->SetWorkerFactory(std::move(factory)); }
  // Where every finished test is recorded; null (the default) keeps no history.
  void SetHistory(std::shared_ptr<RunHistory> history) { FSession->SetHistory(std::move(history)); }
  // The program ends its message loop when the window has closed; tests do not.
  void SetQuitOnClose(bool quit) { FQuitOnClose = quit; }

  // Lists a trace line; the session hands every line of its tests here, in order.
  void AddTraceLine(const TraceLine& line);
  // Asks every test to stop and waits up to about a second for their workers to end;
  // frees those that ended. True when none is left. Hand-overs are no longer served
  // afterwards.
  bool StopWorkers();
  // The poll (the timer's tick); public so that a caller need not wait a second.
  void tmrProcessTimer();

  WinTraceList& TraceList() { return *FTrace; }
  ProbeSession& Session() { return *FSession; }
  WinResultsForm* ResultsForm() const { return FResults; }
  std::int32_t ResultCode() const { return FLastRun.result_code; }
  ZProbeRun* CurrentRun() const { return FSession->CurrentRun(); }
  const RunSnapshot& LastRun() const { return FLastRun; }
  bool PollTimerOn() const { return FTimerOn; }
  bool ResultIconShown() const { return FIconShown; }
  bool Closed() const { return FSession->Closing(); }
  // The first status line's look: bold and larger for a banner.
  bool BannerShown() const { return FBanner.kind != BannerKind::None; }
  COLORREF BannerColour() const { return FBannerColour; }

 private:
  template <typename Form>
  friend LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Command(int id, int code);
  void ShowPage(Page page);
  void rgSelectClick(int item);
  void btnProcessTestClick();
  void btnProcessBackClick();
  void btnProcessStopClick();
  void ShowHistory();

  // Draws what the session hands out: the status lines, progress, buttons and banner.
  void Draw(const SessionView& view);
  void SetThreadLine(const std::wstring& text);
  void ShowBanner(const BannerView& banner);
  void ShowProgressBar(bool shown);
  void SetPollTimer(bool on);
  void EndTest(const EndedRun& ended);
  void ShowRefusal(TestRefusal refusal, const std::string& message);
  void ShowFatalErrorBox(const std::string& text);
  void Disable(int id, int focus_next);
  void Enable(int id, bool enabled, int focus_next);
  void SetText(int id, const std::wstring& text);
  std::wstring Text(int id) const;

  void BeginClose();
  void FinishClose();

  RunSnapshot FLastRun;
  int FChosen = -1;
  std::shared_ptr<WinInvoker> FInvoker;
  std::unique_ptr<ProbeSession> FSession;
  std::unique_ptr<WinTraceList> FTrace;
  WinResultsForm* FResults = nullptr;
  std::unique_ptr<WinResultsForm> FOwnResults;
  std::vector<WinErrorBox*> FErrorBoxes;
  BannerView FBanner;
  COLORREF FBannerColour = 0;
  bool FTimerOn = false;
  bool FIconShown = false;
  bool FProgressShown = false;
  bool FQuitOnClose = false;
};

}  // namespace zp
