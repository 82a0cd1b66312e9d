#pragma once
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/ProbeFormUi.h"
#include "session/ProbeSession.h"

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
  // Opens the History window (Ctrl+H, History… on the Process page and in the trace's
  // menu) on the runs with the settings typed, or with the last test's.
  void ShowHistory();
  // Replaces the maker of workers (empty: the probe client).
  void SetWorkerFactory(WorkerFactory factory);

  // Lists a trace line; the session hands every line of its tests here, in order.
  void AddTraceLine(const TraceLine& line);

  // Asks every test to stop and waits up to about a second for their workers to end;
  // frees those that ended. True when none is left. Hand-overs are no longer served
  // afterwards.
  bool StopWorkers();

  // The poll (the timer's tick); public so that a caller need not wait a second.
  void tmrProcessTimer();

  TTraceList& TraceList() { return *FTrace; }
  ProbeSession& Session() { return *FSession; }
  std::int32_t ResultCode() const { return FLastRun.result_code; }
  // The followed test, or none.
  ZProbeRun* CurrentRun() const { return FSession->CurrentRun(); }
  // The record of the last test the window saw end.
  const RunSnapshot& LastRun() const { return FLastRun; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectControls();
  void rgSelectClick();
  // Next on the Select page: on only with a server and a port a test can use.
  void btnSelectNextClick();
  TestRequest RequestFromEdits() const;
  void btnProcessTestClick();
  void btnProcessBackClick();
  void btnProcessStopClick();
  void ShowPage(QWidget* page);

  // Draws what the session hands out: the status lines, progress, buttons and banner.
  void Draw(const SessionView& view);
  void SetThreadLine(const QString& text);
  void EndTest(const EndedRun& ended);
  // A refused Test: the box that says why, and the field to mend.
  void ShowRefusal(TestRefusal refusal, const std::string& message);
  void ShowFatalErrorBox(const std::string& text);
  void ShowError(const QString& message);
  void Disable(QPushButton* button, QWidget* focus_next);
  void FinishClose();

  RunSnapshot FLastRun;
  std::shared_ptr<QtInvoker> FInvoker;
  std::unique_ptr<ProbeSession> FSession;
  TTraceList* FTrace = nullptr;
  TfrmResults* FResults = nullptr;
  std::unique_ptr<TfrmResults> FOwnResults;
  std::vector<QMessageBox*> FErrorBoxes;
};

}  // namespace zp
