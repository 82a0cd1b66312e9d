#include "app/ProbeForm.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStackedWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/HistoryForm.h"
#include "run/ProgressText.h"
#include "app/QtInvoker.h"
#include "app/QtText.h"
#include "app/ResultBanner.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "app/TraceList.h"
#include "run/ConnectionChoice.h"
#include "run/RunWords.h"
#include "run/TraceLine.h"
#include "framework/Conversions.h"

namespace zp {

namespace {

constexpr int kWidth = 621;
constexpr int kHeight = 464;
// Closing waits this long for workers before leaving them to the end of the process.
constexpr int kCloseWaitMs = 1000;

const char* const kBegin = "Press Test to Begin";
const char* const kServerMissing = "Type the route server's name or address in the Server box.";

}  // namespace

TfrmProbe::TfrmProbe(QWidget* parent) : QWidget(parent), FInvoker(std::make_shared<QtInvoker>()) {
  setObjectName("frmProbe");
  setWindowTitle("Zelvan Probe");
  Build(this);
  FTrace = new TTraceList(tlbTrace);
  ConnectControls();

  resize(kWidth, kHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }

  ShowPage(tsWelcome);
  btnSelectNext->setEnabled(false);
  SetThreadLine(kBegin);
  lblShowStateDescription->clear();
  lblShowStatusText->clear();
  tmrProcess->stop();
  FResultCode = 0;
}

TfrmProbe::~TfrmProbe() {
  FClosing = true;
  FInvoker->Close();
  for (auto& run : FRuns) run->Stop();
  FRun = nullptr;
  FRuns.clear();  // waits for each worker: the closed invoker lets every hand-over return at once
}

void TfrmProbe::ConnectControls() {
  connect(btnWelcomeNext, &QPushButton::clicked, this, [this] { ShowPage(tsSelect); });
  connect(btnWelcomeClose, &QPushButton::clicked, this, &QWidget::close);
  connect(FSelectItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) rgSelectClick();
  });
  for (QAbstractButton* item : FSelectItems->buttons()) item->installEventFilter(this);
  connect(btnSelectBack, &QPushButton::clicked, this, [this] { ShowPage(tsWelcome); });
  connect(btnSelectNext, &QPushButton::clicked, this, [this] { ShowPage(tsProcess); });
  connect(btnSelectClose, &QPushButton::clicked, this, &QWidget::close);
  connect(btnProcessBack, &QPushButton::clicked, this, &TfrmProbe::btnProcessBackClick);
  connect(btnProcessTest, &QPushButton::clicked, this, &TfrmProbe::btnProcessTestClick);
  connect(btnProcessStop, &QPushButton::clicked, this, &TfrmProbe::btnProcessStopClick);
  connect(btnProcessClose, &QPushButton::clicked, this, &QWidget::close);
  connect(tmrProcess, &QTimer::timeout, this, &TfrmProbe::tmrProcessTimer);
  // The window has no menu bar: the History window is on Ctrl+H and the window's menu.
  auto* history = new QAction(QString::fromUtf8("&History\u2026"), this);
  history->setObjectName("actHistory");
  history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  history->setShortcutContext(Qt::WindowShortcut);
  connect(history, &QAction::triggered, this, &TfrmProbe::ShowHistory);
  addAction(history);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TfrmProbe::SetResultsForm(TfrmResults* results) { FResults = results; }

void TfrmProbe::SetHistory(std::shared_ptr<RunHistory> history) { FHistory = std::move(history); }

void TfrmProbe::ShowHistory() {
  THistoryForm form(FHistory, this);
  form.exec();
}

void TfrmProbe::SetWorkerFactory(WorkerFactory factory) { FFactory = std::move(factory); }

void TfrmProbe::ShowPage(QWidget* page) {
  pcProbe->setCurrentWidget(page);
  if (page == tsWelcome) {
    btnWelcomeNext->setFocus();
  } else if (page == tsSelect) {
    if (QAbstractButton* chosen = FSelectItems->checkedButton()) chosen->setFocus();
    else FSelectItems->button(0)->setFocus();
  } else {
    btnProcessTest->setFocus();
  }
}

void TfrmProbe::rgSelectClick() {
  const int item = FSelectItems->checkedId();
  if (item < 0) {
    btnSelectNext->setEnabled(false);
    return;
  }
  btnSelectNext->setEnabled(true);
  if (item >= kConnectionChoices) return;
  const ConnectionDefaults defaults = DefaultsFor(item);
  edServer->setText(QString::fromStdString(defaults.server));
  edPort->setText(QString::fromStdString(defaults.port_text));
  edRouteCode->setText(QString::fromStdString(defaults.route_code));
}

void TfrmProbe::btnProcessTestClick() {
  // Test waits for the worker's start while processing events: a click that arrives
  // inside that wait, or inside a box a worker has open, is not a new test.
  if (FStarting || FClosing || FInvoker->ServingDepth() > 0) return;
  FreeEndedRuns();
  Busy busy(this);

  const std::string typed = Latin1(edRouteCode->text().left(1));
  char letter = typed.empty() ? 'A' : typed.front();
  const int item = FSelectItems->checkedId();
  if (item < 0 || item > 2) {
    const QAbstractButton* chosen = FSelectItems->checkedButton();
    ShowError((chosen ? chosen->text() : QString()) + " is not supported at this time");
    return;
  }
  if (item == 0) letter = 'A';  // the normal route always asks for route A
  if (ServerMissing()) return;

  RunOptions options;
  options.settings.server = Latin1(edServer->text());
  options.settings.port = static_cast<std::int32_t>(HexToIntDef(Latin1(edPort->text())));
  options.settings.route_code = std::string(1, letter);
  options.factory = FFactory;
  options.error_box = [this](const std::string& text) { ShowFatalErrorBox(text); };
  FTrace->StartTest(++FTestCount, options.settings, edPort->text(), QDateTime::currentDateTime());
  FPhaseSince.invalidate();

  auto run = std::make_unique<ZProbeRun>(
      std::move(options), [this](const TraceLine& line) { AddTraceLine(line); }, FInvoker);
  ZProbeRun* started = run.get();
  FRuns.push_back(std::move(run));
  FRun = started;

  FStarting = true;
  const bool had_focus = btnProcessTest->hasFocus();
  Disable(btnProcessTest, tlbTrace);
  const bool ok = started->Start();
  FStarting = false;
  btnProcessTest->setEnabled(true);
  if (had_focus && tlbTrace->hasFocus()) btnProcessTest->setFocus();
  // Only the newest run is followed, and only while the window stays open.
  if (ok && !FClosing && FRun == started) {
    tmrProcess->start();
    btnProcessStop->setEnabled(true);
    pbProgress->show();
    ShowRun(started->Snapshot());
  }
  if (FClosing) FinishClose();
}

void TfrmProbe::tmrProcessTimer() {
  if (FRun == nullptr) return;
  Busy busy(this);
  const bool running = FRun->Poll();
  const RunSnapshot run = FRun->Snapshot();
  SetThreadLine(Bytes(run.worker_name));
  lblShowStateDescription->setText(Bytes(run.state_name));
  lblShowStatusText->setText(Bytes(EscapeControls(run.status_text)));  // may quote a peer
  ShowRun(run);
  if (running) return;
  FRecorded.insert(FRun);  // EndTest records it
  FRun = nullptr;
  EndTest(run);
  if (FClosing) FinishClose();
}

void TfrmProbe::ShowRun(const RunSnapshot& run) {
  if (!FPhaseSince.isValid() || run.phase != FPhase) {
    FPhase = run.phase;
    FPhaseSince.start();
  }
  lblProgress->setText(Bytes(ProgressText(run, static_cast<double>(FPhaseSince.elapsed()) / 1000.0)));
  if (run.phase == RunPhase::ProfilingRoutes && run.current_route > 0 && run.RouteCount() >= run.current_route) {
    pbProgress->setRange(0, run.RouteCount());
    pbProgress->setValue(run.current_route - 1);
  } else {
    pbProgress->setRange(0, 0);  // busy: the length of this phase is unknown
  }
}

void TfrmProbe::EndTest(const RunSnapshot& run) {
  FLastRun = run;
  FResultCode = run.result_code;
  tmrProcess->stop();
  lblShowStateDescription->clear();
  lblShowStatusText->clear();
  Disable(btnProcessStop, btnProcessTest);
  // The label stays (empty) so that it keeps the buttons to the right.
  lblProgress->clear();
  pbProgress->hide();
  // A stopped test shows what it had found under its own banner, whatever code the
  // worker had set by then; an unknown result code has neither banner nor window.
  if (*RunBanner(run) != '\0') {
    ShowBanner(run);
    ResultsContext context = RecordAndCompare(FHistory, run);
    if (FClosing) return;
    if (FResults == nullptr) {
      if (!FOwnResults) FOwnResults = std::make_unique<TfrmResults>();
      FResults = FOwnResults.get();
    }
    context.trace = FTrace->Text(true).split(u'\n');
    FResults->ShowResults(run, std::move(context));
  }
}

void TfrmProbe::SetThreadLine(const QString& text) {
  lblShowThreadDescription->setText(text);
  lblShowThreadDescription->setFont(QFont());
  lblShowThreadDescription->setPalette(QPalette());
  lblResultIcon->hide();
}

void TfrmProbe::ShowBanner(const RunSnapshot& run) {
  ShowResultBanner(lblShowThreadDescription, lblResultIcon, run, this);
}

bool TfrmProbe::ServerMissing() {
  // Without a route server the worker could only fail: say what is missing instead.
  if (!edServer->text().trimmed().isEmpty()) return false;
  QMessageBox box(QMessageBox::Warning, "Zelvan Probe", kServerMissing, QMessageBox::Ok, this);
  box.setObjectName("ServerMissingBox");
  box.setTextFormat(Qt::PlainText);
  box.exec();
  if (FClosing) return true;
  ShowPage(tsSelect);
  edServer->setFocus();
  return true;
}

void TfrmProbe::Disable(QPushButton* button, QWidget* focus_next) {
  // Qt moves the focus of a disabled button to the next one in the chain, which can
  // be Close: a second Enter would then close the window.
  if (button->hasFocus()) focus_next->setFocus();
  button->setEnabled(false);
}

void TfrmProbe::btnProcessBackClick() {
  // The worker of a running test is not stopped: the poll and its lines go on.
  FTrace->Clear(/*keep_last_test=*/FRun != nullptr);
  SetThreadLine(kBegin);
  ShowPage(tsSelect);
}

void TfrmProbe::btnProcessStopClick() {
  if (FRun == nullptr) return;
  FRun->Stop();
  Disable(btnProcessStop, btnProcessTest);
}

void TfrmProbe::AddTraceLine(const TraceLine& line) { FTrace->Append(line); }

void TfrmProbe::ShowFatalErrorBox(const std::string& text) {
  if (FClosing) return;
  QString shown = Bytes(text);
  shown.replace("\r\n", "\n");
  QMessageBox box(QMessageBox::Critical, "Error", shown, QMessageBox::NoButton, this);
  box.setObjectName("ErrorBox");
  box.setTextFormat(Qt::PlainText);
  QPushButton* abort = box.addButton("&Abort", QMessageBox::RejectRole);
  box.setDefaultButton(abort);
  box.setEscapeButton(abort);
  FErrorBoxes.push_back(&box);
  box.exec();
  std::erase(FErrorBoxes, &box);
}

void TfrmProbe::ShowError(const QString& message) {
  QMessageBox box(QMessageBox::Critical, "Zelvan Probe", message, QMessageBox::Ok, this);
  box.setObjectName("ApplicationErrorBox");
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void TfrmProbe::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // A window is not a dialog: give Enter the default button of the page, or the
    // button that has the focus.
    QPushButton* target = qobject_cast<QPushButton*>(focusWidget());
    if (target == nullptr) {
      QWidget* page = pcProbe->currentWidget();
      target = page == tsWelcome ? btnWelcomeNext : page == tsSelect ? btnSelectNext : btnProcessTest;
    }
    if (target->isEnabled() && target->isVisible()) target->click();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

bool TfrmProbe::eventFilter(QObject* watched, QEvent* event) {
  // The toolkit's arrow keys only move the focus while no item is chosen yet; here they
  // choose from the first press, as they do once an item is chosen.
  if (event->type() != QEvent::KeyPress || FSelectItems->checkedButton() != nullptr)
    return QWidget::eventFilter(watched, event);
  const int key = static_cast<QKeyEvent*>(event)->key();
  const int step = key == Qt::Key_Down || key == Qt::Key_Right ? 1 : key == Qt::Key_Up || key == Qt::Key_Left ? -1 : 0;
  const int item = FSelectItems->id(qobject_cast<QAbstractButton*>(watched));
  if (step == 0 || item < 0) return QWidget::eventFilter(watched, event);
  const int count = static_cast<int>(FSelectItems->buttons().size());
  QAbstractButton* next = FSelectItems->button(std::clamp(item + step, 0, count - 1));
  next->setFocus(Qt::TabFocusReason);
  next->setChecked(true);
  return true;
}

void TfrmProbe::closeEvent(QCloseEvent* event) {
  BeginClose();
  event->accept();
}

bool TfrmProbe::CanFreeRuns() const { return FBusy == 0 && FInvoker->ServingDepth() == 0; }

void TfrmProbe::BeginClose() {
  FClosing = true;
  tmrProcess->stop();
  // From here a worker's hand-over returns at once, so no worker can wait on us.
  FInvoker->Close();
  for (auto& run : FRuns) run->Stop();
  // A box open on the stack keeps its worker waiting until it closes.
  for (QMessageBox* box : FErrorBoxes) box->reject();
  if (FResults != nullptr && FResults->isVisible()) FResults->reject();
  if (CanFreeRuns()) StopWorkers(kCloseWaitMs);
  else QTimer::singleShot(0, this, &TfrmProbe::FinishClose);
}

void TfrmProbe::FinishClose() {
  if (!FClosing) return;
  if (CanFreeRuns()) StopWorkers(kCloseWaitMs);
  else QTimer::singleShot(10, this, &TfrmProbe::FinishClose);
}

bool TfrmProbe::StopWorkers(int ms) {
  FInvoker->Close();
  tmrProcess->stop();
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

void TfrmProbe::FreeEndedRuns() {
  if (!CanFreeRuns()) return;
  std::erase_if(FRuns, [this](const std::unique_ptr<ZProbeRun>& run) {
    if (!run->WorkerFinished() || run.get() == FRun) return false;
    // A test no longer followed (a newer one started, the window closed) is history too.
    if (FRecorded.erase(run.get()) == 0 && FHistory) {
      run->Poll();  // makes the record final
      const RunSnapshot ended = run->Snapshot();
      if (*RunBanner(ended) != '\0') RecordAndCompare(FHistory, ended);
    }
    return true;
  });
}

}  // namespace zp
