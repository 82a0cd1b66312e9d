#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "client/ProbeRun.h"
#include "winapp/WinProbeFormUi.h"

namespace zp {

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
  void SetWorkerFactory(WorkerFactory factory) { FFactory = std::move(factory); }
  // The program ends its message loop when the window has closed; tests do not.
  void SetQuitOnClose(bool quit) { FQuitOnClose = quit; }

  void AddTraceLine(const TraceLine& line);
  // Asks every run to stop and waits up to `ms` for their workers to end; frees those
  // that ended. True when none is left. Hand-overs are no longer served afterwards.
  bool StopWorkers(int ms);
  // The poll (the timer's tick); public so that a caller need not wait a second.
  void tmrProcessTimer();

  WinTraceList& TraceList() { return *FTrace; }
  WinResultsForm* ResultsForm() const { return FResults; }
  std::int32_t ResultCode() const { return FResultCode; }
  ZProbeRun* CurrentRun() const { return FRun; }
  const RunSnapshot& LastRun() const { return FLastRun; }
  bool PollTimerOn() const { return FTimerOn; }
  bool ResultIconShown() const { return FIconShown; }
  bool Closed() const { return FClosing; }
  // The first status line's look: bold and larger for a banner.
  bool BannerShown() const { return FBanner != nullptr; }
  COLORREF BannerColour() const { return FBannerColour; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Command(int id, int code);
  void ShowPage(Page page);
  void rgSelectClick(int item);
  void btnProcessTestClick();
  void btnProcessBackClick();
  void btnProcessStopClick();

  void ShowRun(const RunSnapshot& run);
  void SetThreadLine(const std::wstring& text);
  void ShowBanner(const RunSnapshot& run);
  void ShowProgressBar(bool shown);
  bool ServerMissing();
  void EndTest(const RunSnapshot& run);
  void ShowFatalErrorBox(const std::string& text);
  void ShowError(const std::wstring& message);
  void Disable(int id, int focus_next);
  void SetText(int id, const std::wstring& text);
  std::wstring Text(int id) const;
  int ChosenItem() const;

  void BeginClose();
  void FinishClose();
  bool CanFreeRuns() const;
  void FreeEndedRuns();

  struct Busy {
    explicit Busy(WinProbeForm* form) : f(form) { ++f->FBusy; }
    ~Busy() { --f->FBusy; }
    WinProbeForm* f;
  };

  std::int32_t FResultCode = 0;
  ZProbeRun* FRun = nullptr;
  RunSnapshot FLastRun;
  int FTestCount = 0;
  int FChosen = -1;
  ULONGLONG FPhaseSince = 0;
  bool FPhaseValid = false;
  RunPhase FPhase = RunPhase::Starting;

  std::shared_ptr<WinInvoker> FInvoker;
  WorkerFactory FFactory;
  std::vector<std::unique_ptr<ZProbeRun>> FRuns;
  std::unique_ptr<WinTraceList> FTrace;
  WinResultsForm* FResults = nullptr;
  std::unique_ptr<WinResultsForm> FOwnResults;
  std::vector<WinErrorBox*> FErrorBoxes;
  HICON FIcon = nullptr;
  const char* FBanner = nullptr;
  COLORREF FBannerColour = 0;
  int FBusy = 0;
  bool FStarting = false;
  bool FClosing = false;
  bool FTimerOn = false;
  bool FIconShown = false;
  bool FProgressShown = false;
  bool FQuitOnClose = false;
};

}  // namespace zp
