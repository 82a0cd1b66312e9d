#pragma once
#include <QElapsedTimer>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/ProbeFormUi.h"
#include "client/ProbeRun.h"

class QMessageBox;

namespace zp {

class QtInvoker;
class RunHistory;
class TfrmResults;
class TTraceList;

// The program's main window: a three-page wizard (welcome, choice of connection,
// process) that runs one probe test per Test press, lists its trace, polls its run
// record once a second and shows the result.
//
// Runs are owned here. Closing the window stops them; destroying it ends them.
class TfrmProbe : public QWidget, private TProbeFormUi {
  Q_OBJECT
 public:
  explicit TfrmProbe(QWidget* parent = nullptr);
  ~TfrmProbe() override;

  // The results window used by every test; it must outlive the tests this window runs.
  // Without one the window makes its own.
  void SetResultsForm(TfrmResults* results);
  // Where every finished test is recorded and compared with the last one with the same
  // settings; null (the default) keeps no history.
  void SetHistory(std::shared_ptr<RunHistory> history);
  // Opens the History window (Ctrl+H).
  void ShowHistory();
  // Replaces the maker of workers (empty: the probe client).
  void SetWorkerFactory(WorkerFactory factory);

  // The trace handler of every run made here; lines reach it on the window thread, in
  // order, through the window's hand-over.
  void AddTraceLine(const TraceLine& line);

  // Asks every run to stop and waits up to `ms` for their workers to end; frees those
  // that ended. True when none is left. Hand-overs are no longer served afterwards.
  bool StopWorkers(int ms);

  // The poll (the timer's tick); public so that a caller need not wait a second.
  void tmrProcessTimer();

  TTraceList& TraceList() { return *FTrace; }
  std::int32_t ResultCode() const { return FResultCode; }
  // The run the window follows (the newest test), or none.
  ZProbeRun* CurrentRun() const { return FRun; }
  // The record of the last test the window saw end.
  const RunSnapshot& LastRun() const { return FLastRun; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectControls();
  void rgSelectClick();
  void btnProcessTestClick();
  void btnProcessBackClick();
  void btnProcessStopClick();
  void ShowPage(QWidget* page);

  void ShowRun(const RunSnapshot& run);
  // The first status line: plain for the worker's name and the idle prompt, a marked-up
  // banner (bold, larger, coloured and with an icon) for an ended run.
  void SetThreadLine(const QString& text);
  void ShowBanner(const RunSnapshot& run);
  bool ServerMissing();
  void EndTest(const RunSnapshot& run);
  void ShowFatalErrorBox(const std::string& text);
  void ShowError(const QString& message);
  void Disable(QPushButton* button, QWidget* focus_next);

  // Stops and frees runs only when nothing on the stack still uses them.
  void BeginClose();
  void FinishClose();
  bool CanFreeRuns() const;
  void FreeEndedRuns();

  // Counts handlers that wait while processing events (Test, the poll).
  struct Busy {
    explicit Busy(TfrmProbe* form) : f(form) { ++f->FBusy; }
    ~Busy() { --f->FBusy; }
    TfrmProbe* f;
  };

  std::int32_t FResultCode = 0;
  ZProbeRun* FRun = nullptr;
  RunSnapshot FLastRun;
  int FTestCount = 0;  // tests started in this window, for the trace's separator lines
  QElapsedTimer FPhaseSince;  // when the poll first saw the followed run in its phase
  RunPhase FPhase = RunPhase::Starting;

  std::shared_ptr<QtInvoker> FInvoker;
  std::shared_ptr<RunHistory> FHistory;
  WorkerFactory FFactory;
  std::vector<std::unique_ptr<ZProbeRun>> FRuns;
  std::set<const ZProbeRun*> FRecorded;  // runs whose end the window showed and recorded
  TTraceList* FTrace = nullptr;
  TfrmResults* FResults = nullptr;
  std::unique_ptr<TfrmResults> FOwnResults;
  std::vector<QMessageBox*> FErrorBoxes;
  int FBusy = 0;
  bool FStarting = false;
  bool FClosing = false;
};

}  // namespace zp
