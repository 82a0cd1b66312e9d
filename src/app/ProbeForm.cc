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
#include <QStackedWidget>
#include <QTimer>

#include "session/WindowLook.h"
#include "app/HistoryForm.h"
#include "app/QtInvoker.h"
#include "app/QtText.h"
#include "app/ResultBanner.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "app/TraceList.h"
#include "run/ConnectionChoice.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

constexpr int kWidth = look::kMainWidth;
constexpr int kHeight = look::kMainHeight;


}  // namespace

TfrmProbe::TfrmProbe(QWidget* parent) : QWidget(parent), FInvoker(std::make_shared<QtInvoker>()) {
  setObjectName("frmProbe");
  setWindowTitle("Zelvan Probe");
  Build(this);
  FTrace = new TTraceList(tlbTrace);
  SessionOptions options;
  options.on_line = [this](const TraceLine& line) { AddTraceLine(line); };
  options.on_test_start = [this](const TestStart& start) { FTrace->StartTest(start); };
  options.error_box = [this](const std::string& text) { ShowFatalErrorBox(text); };
  FSession = std::make_unique<ProbeSession>(FInvoker, std::move(options));
  ConnectControls();

  resize(kWidth, kHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }

  ShowPage(tsWelcome);
  btnSelectNext->setEnabled(false);
  tmrProcess->stop();
  Draw(FSession->Poll());
}

// The session stops its tests and waits for their workers: the closed invoker lets every
// hand-over return at once.
TfrmProbe::~TfrmProbe() { FSession.reset(); }

void TfrmProbe::ConnectControls() {
  connect(btnWelcomeNext, &QPushButton::clicked, this, [this] { ShowPage(tsSelect); });
  connect(btnWelcomeClose, &QPushButton::clicked, this, &QWidget::close);
  connect(FSelectItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) rgSelectClick();
  });
  for (QAbstractButton* item : FSelectItems->buttons()) item->installEventFilter(this);
  connect(btnSelectBack, &QPushButton::clicked, this, [this] { ShowPage(tsWelcome); });
  connect(btnSelectNext, &QPushButton::clicked, this, &TfrmProbe::btnSelectNextClick);
  connect(btnSelectClose, &QPushButton::clicked, this, &QWidget::close);
  connect(btnProcessBack, &QPushButton::clicked, this, &TfrmProbe::btnProcessBackClick);
  connect(btnProcessTest, &QPushButton::clicked, this, &TfrmProbe::btnProcessTestClick);
  connect(btnProcessStop, &QPushButton::clicked, this, &TfrmProbe::btnProcessStopClick);
  connect(btnProcessClose, &QPushButton::clicked, this, &QWidget::close);
  connect(tmrProcess, &QTimer::timeout, this, &TfrmProbe::tmrProcessTimer);
  // The window has no menu bar: the History window is on Ctrl+H, a button of the Process
  // page, and the menus of the window and of the trace.
  auto* history = new QAction(QString::fromUtf8("&History\u2026"), this);
  history->setObjectName("actHistory");
  history->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
  history->setShortcutContext(Qt::WindowShortcut);
  connect(history, &QAction::triggered, this, &TfrmProbe::ShowHistory);
  addAction(history);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* separator = new QAction(tlbTrace);
  separator->setSeparator(true);
  tlbTrace->addAction(separator);
  tlbTrace->addAction(history);
  connect(btnProcessHistory, &QPushButton::clicked, this, &TfrmProbe::ShowHistory);
}

void TfrmProbe::SetResultsForm(TfrmResults* results) {
  FResults = results;
  if (FResults != nullptr) FResults->SetOwnerWindow(this);
}

void TfrmProbe::SetHistory(std::shared_ptr<RunHistory> history) { FSession->SetHistory(std::move(history)); }

void TfrmProbe::ShowHistory() {
  const CheckedRequest typed = CheckRequest(RequestFromEdits());
  std::optional<RunSettings> current;
  if (typed.refusal == TestRefusal::None) current = typed.settings;
  else if (!FLastRun.settings.server.empty()) current = FLastRun.settings;
  THistoryForm form(FSession->History(), current, this);
  form.exec();
}

void TfrmProbe::SetWorkerFactory(WorkerFactory factory) { FSession->SetWorkerFactory(std::move(factory)); }

void TfrmProbe::ShowPage(QWidget* page) {
  pcProbe->setCurrentWidget(page);
  if (page == tsWelcome) {
    btnWelcomeNext->setFocus();
  } else if (page == tsSelect) {
    // As if tabbed to: a style draws the focus only once the keyboard has moved it, and
    // the operator must see where the arrow keys act.
    setAttribute(Qt::WA_KeyboardFocusChange);
    QAbstractButton* chosen = FSelectItems->checkedButton();
    (chosen != nullptr ? chosen : FSelectItems->button(0))->setFocus(Qt::TabFocusReason);
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

TestRequest TfrmProbe::RequestFromEdits() const {
  TestRequest request;
  request.selection = FSelectItems->checkedId();
  if (const QAbstractButton* chosen = FSelectItems->checkedButton()) request.selection_text = Latin1(chosen->text());
  request.server = Latin1(edServer->text());
  request.port_text = Latin1(edPort->text());
  request.route_code = Latin1(edRouteCode->text().left(1));
  return request;
}

void TfrmProbe::btnSelectNextClick() {
  // What Test would refuse is named here already, beside the box to mend.
  const CheckedRequest checked = CheckRequest(RequestFromEdits());
  if (checked.refusal == TestRefusal::ServerMissing || checked.refusal == TestRefusal::PortInvalid)
    return ShowRefusal(checked.refusal, checked.message);
  ShowPage(tsProcess);
}

void TfrmProbe::btnProcessTestClick() {
  if (FSession->Running() || FSession->Closing()) return;
  const TestRequest request = RequestFromEdits();

  const bool had_focus = btnProcessTest->hasFocus();
  Disable(btnProcessTest, tlbTrace);
  // The start-up wait serves events: a close may come inside it.
  const ProbeSession::StartAnswer answer = FSession->StartTest(request);
  if (FSession->Closing()) return FinishClose();
  if (answer.refusal != TestRefusal::None) {
    btnProcessTest->setEnabled(true);
    return ShowRefusal(answer.refusal, answer.message);
  }
  Draw(answer.view);
  if (had_focus && tlbTrace->hasFocus() && btnProcessTest->isEnabled()) btnProcessTest->setFocus();
}

void TfrmProbe::tmrProcessTimer() { Draw(FSession->Poll()); }

void TfrmProbe::Draw(const SessionView& view) {
  const StatusView& status = view.status;
  if (view.banner.kind != BannerKind::None && !view.running) {
    ShowResultBanner(lblShowThreadDescription, lblResultIcon, view.banner, this);
  } else {
    SetThreadLine(QString::fromUtf8(status.thread));
  }
  lblShowStateDescription->setText(QString::fromUtf8(status.state));
  lblProgress->setText(QString::fromUtf8(status.phase));
  lblShowStatusText->setText(QString::fromUtf8(status.status));
  pbProgress->setVisible(status.progress_shown);
  // A maximum of 0 makes the bar busy: the length of the phase is unknown.
  pbProgress->setRange(0, status.progress_maximum);
  pbProgress->setValue(status.progress_value);
  // Qt moves the focus of a disabled button to the next one in the chain, which can be
  // Close: a second Enter would then close the window.
  if (!view.stop_enabled) Disable(btnProcessStop, btnProcessTest);
  btnProcessStop->setEnabled(view.stop_enabled);
  if (!view.test_enabled) Disable(btnProcessTest, tlbTrace);
  btnProcessTest->setEnabled(view.test_enabled);
  if (view.running && !tmrProcess->isActive()) tmrProcess->start();
  if (!view.running) tmrProcess->stop();
  if (view.ended) EndTest(*view.ended);
}

void TfrmProbe::EndTest(const EndedRun& ended) {
  FLastRun = ended.run;
  if (btnProcessTest->isEnabled() && !btnProcessTest->hasFocus() && tlbTrace->hasFocus()) btnProcessTest->setFocus();
  // An unknown result code has neither banner nor window.
  if (ended.results.banner.kind == BannerKind::None || FSession->Closing()) return;
  if (FResults == nullptr) {
    if (!FOwnResults) FOwnResults = std::make_unique<TfrmResults>();
    SetResultsForm(FOwnResults.get());
  }
  FResults->ShowResults(ended, FSession->History());
}

void TfrmProbe::SetThreadLine(const QString& text) {
  lblShowThreadDescription->setText(text);
  lblShowThreadDescription->setFont(QFont());
  lblShowThreadDescription->setPalette(QPalette());
  lblResultIcon->hide();
}

void TfrmProbe::ShowRefusal(TestRefusal refusal, const std::string& message) {
  if (refusal == TestRefusal::TestRunning || refusal == TestRefusal::Closing) return;
  if (refusal == TestRefusal::Unsupported) return ShowError(QString::fromUtf8(message));
  QMessageBox box(QMessageBox::Warning, "Zelvan Probe", QString::fromUtf8(message), QMessageBox::Ok, this);
  box.setObjectName(refusal == TestRefusal::ServerMissing ? "ServerMissingBox" : "PortInvalidBox");
  box.setTextFormat(Qt::PlainText);
  box.exec();
  if (FSession->Closing()) return;
  ShowPage(tsSelect);
  QLineEdit* field = refusal == TestRefusal::ServerMissing ? edServer : edPort;
  field->setFocus();
  field->selectAll();
}

void TfrmProbe::Disable(QPushButton* button, QWidget* focus_next) {
  if (button->hasFocus()) focus_next->setFocus();
  button->setEnabled(false);
}

void TfrmProbe::btnProcessBackClick() {
  // The worker of a running test is not stopped: the poll and its lines go on.
  FTrace->Clear(/*keep_last_test=*/FSession->Running());
  FSession->ForgetBanner();
  Draw(FSession->Poll());
  ShowPage(tsSelect);
}

void TfrmProbe::btnProcessStopClick() {
  FSession->StopTest();
  Draw(FSession->Poll());
}

void TfrmProbe::AddTraceLine(const TraceLine& line) { FTrace->Append(line); }

void TfrmProbe::ShowFatalErrorBox(const std::string& text) {
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
  tmrProcess->stop();
  // A box open on the stack keeps its worker waiting until it closes.
  for (QMessageBox* box : FErrorBoxes) box->reject();
  if (FResults != nullptr && FResults->isVisible()) FResults->reject();
  FinishClose();
  event->accept();
}

void TfrmProbe::FinishClose() {
  // Whatever is still in use on the stack is freed once it has returned.
  if (!FSession->Close()) QTimer::singleShot(10, this, &TfrmProbe::FinishClose);
}

bool TfrmProbe::StopWorkers() {
  tmrProcess->stop();
  return FSession->Close();
}

}  // namespace zp
