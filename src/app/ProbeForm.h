#pragma once
#include <QDateTime>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ProbeProgress.h"
#include "client/ProbeExpressClientThread.h"

class QButtonGroup;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTimer;

namespace zp {

class QtInvoker;
class TfrmResults;
class ZTabListBox;

// Makes the worker of one test from the window's settings. The window installs its
// error box on the worker and resumes it.
using WorkerFactory = std::function<std::unique_ptr<ZExpressTcpClientThread>(
    const std::string& name, ZTraceEvent on_trace, const std::string& server, std::int32_t port,
    const std::string& route_code, std::shared_ptr<Invoker> invoker)>;

// The program's main window: a three-page wizard (welcome, choice of connection,
// process) that runs one probe worker per test, lists its trace, polls it once a
// second and shows the result.
//
// Workers are owned here. Closing the window stops them; destroying it joins them.
class TfrmProbe : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmProbe(QWidget* parent = nullptr);
  ~TfrmProbe() override;

  // The results window used by every test; it must outlive the tests this window runs.
  // Without one the window makes its own.
  void SetResultsForm(TfrmResults* results);
  // Replaces the maker of workers (by default the probe client).
  void SetWorkerFactory(WorkerFactory factory);
  static WorkerFactory DefaultWorkerFactory();

  // The trace handler of every worker made here. Accepts calls on the window thread
  // and on a worker thread; the latter are handed over to the window thread in order
  // and waited for.
  void AddTraceLine(const std::string& name, const std::string& text);

  // Asks every worker to stop and waits up to `ms` for them to end; frees those that
  // ended. True when none is left. Hand-overs are no longer served afterwards.
  bool StopWorkers(int ms);

  // The trace as plain text, one line per trace line with its tabs; `with_header`
  // puts the last test's server, port, route code and start time in front.
  QString TraceText(bool with_header) const;
  bool SaveTrace(const QString& path) const;

  // The poll (the timer's tick); public so that a caller need not wait a second.
  void tmrProcessTimer();

  int LineHeight() const { return FLineHeight; }
  int CharWidth() const { return FCharWidth; }
  int MaxLineLength() const { return FMaxLineLength; }
  std::int32_t ResultCode() const { return FResultCode; }
  const ZExpressTcpClientThread* CurrentWorker() const { return FThread; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildWelcomePage();
  void BuildSelectPage();
  void BuildProcessPage();
  QPushButton* MakeButton(const QString& name, const QString& text, QWidget* parent);

  void rgSelectClick();
  void btnProcessTestClick();
  void btnProcessBackClick();
  void btnProcessStopClick();
  void ShowPage(QWidget* page);

  void AppendTraceLine(const std::string& name, const std::string& text);
  void ShowFatalErrorBox(const std::string& text);
  void ShowError(const QString& message);
  void ShowResults(std::int32_t code, const RouteList& list);
  void UpdateProgress(const std::string& state_name);
  void EndTestDisplay();
  void Disable(QPushButton* button, QWidget* focus_next);

  void CopySelected();
  void CopyAll();
  void SaveTraceAs();

  // Stops and frees workers only when nothing on the stack still uses them.
  void BeginClose();
  void FinishClose();
  bool CanFreeWorkers() const;
  void FreeEndedWorkers();

  // Counts handlers that wait while processing events (Test, the poll).
  struct Busy {
    explicit Busy(TfrmProbe* form) : f(form) { ++f->FBusy; }
    ~Busy() { --f->FBusy; }
    TfrmProbe* f;
  };

  QStackedWidget* pcProbe;
  QWidget* tsWelcome;
  QPlainTextEdit* mmoWelcome;
  QPushButton* btnWelcomeNext;
  QPushButton* btnWelcomeClose;
  QWidget* tsSelect;
  QGroupBox* rgSelect;
  QButtonGroup* FSelectItems;
  QLabel* lblServer;
  QLineEdit* edServer;
  QLabel* lblPort;
  QLineEdit* edPort;
  QLabel* lblRouteCode;
  QLineEdit* edRouteCode;
  QPushButton* btnSelectBack;
  QPushButton* btnSelectNext;
  QPushButton* btnSelectClose;
  QWidget* tsProcess;
  QFrame* pnlTop;
  QFrame* pnlShowThread;
  QLabel* lblShowThreadDescription;
  QLabel* lblShowStateDescription;
  QLabel* lblShowStatusText;
  ZTabListBox* tlbTrace;
  QFrame* pnlBottom;
  QLabel* lblProgress;
  QProgressBar* pbProgress;
  QPushButton* btnProcessBack;
  QPushButton* btnProcessTest;
  QPushButton* btnProcessStop;
  QPushButton* btnProcessClose;
  QTimer* tmrProcess;

  std::int32_t FLineHeight = 0;
  std::int32_t FCharWidth = 0;
  std::int32_t FMaxLineLength = -1;
  std::int32_t FResultCode = 0;
  ZExpressTcpClientThread* FThread = nullptr;

  std::shared_ptr<QtInvoker> FInvoker;
  WorkerFactory FFactory;
  std::vector<std::unique_ptr<ZExpressTcpClientThread>> FWorkers;
  TfrmResults* FResults = nullptr;
  std::unique_ptr<TfrmResults> FOwnResults;
  std::vector<QMessageBox*> FErrorBoxes;
  ZProbeProgress FProgress;
  std::string FLastState;  // as the last poll read it
  int FBusy = 0;
  bool FStarting = false;
  bool FClosing = false;

  // The settings of the last test, for the head of a saved trace.
  QString FTestServer;
  QString FTestPort;
  std::int32_t FTestPortNumber = 0;
  QString FTestRouteCode;
  QDateTime FTestStarted;
};

}  // namespace zp
