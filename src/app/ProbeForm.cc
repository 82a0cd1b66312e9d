#include "app/ProbeForm.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QScreen>
#include <QStackedWidget>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/QtInvoker.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "client/ConnectionChoice.h"
#include "framework/Conversions.h"
#include "platform/LocalTime.h"

namespace zp {

namespace {

constexpr int kWidth = 621;
constexpr int kHeight = 464;
constexpr int kButtonWidth = 67;
constexpr int kButtonHeight = 27;
constexpr int kStatusPanelHeight = 59;
constexpr int kButtonPanelHeight = 53;
constexpr int kPollMs = 1000;
// Room for the tab expansion of a line, in characters.
constexpr int kLineSlack = 28;
// Closing waits this long for workers before leaving them to the end of the process.
constexpr int kCloseWaitMs = 1000;

const char* const kItems[] = {
    "Connect to Corvalink(tm) via Internet using Normal Route",
    "Connect to Corvalink(tm) via Internet using Other Route",
    "Connect to Corvalink(tm) via WAN using Other Route",
};

const char* const kWelcome =
    "Welcome to Zelvan Probe.\n"
    "\n"
    "\n"
    "This tool is used to verify communication between your site and \n"
    "Zelvan across the Internet.\n"
    "\n"
    "Please press the Next button below to select which product you wish\n"
    "to verify.";

const char* const kBegin = "Press Test to Begin";

QString Bytes(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Latin1(const QString& text) { return text.toLatin1().toStdString(); }

QLabel* PlainLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QWidget* button : buttons) row->addWidget(button);
  return row;
}

}  // namespace

WorkerFactory TfrmProbe::DefaultWorkerFactory() {
  return [](const std::string& name, ZTraceEvent on_trace, const std::string& server,
            std::int32_t port, const std::string& route_code, std::shared_ptr<Invoker> invoker) {
    return std::make_unique<ZExpressTcpClientThread>(name, std::move(on_trace), server, port,
                                                     route_code, std::move(invoker));
  };
}

TfrmProbe::TfrmProbe(QWidget* parent)
    : QWidget(parent), FInvoker(std::make_shared<QtInvoker>()), FFactory(DefaultWorkerFactory()) {
  setObjectName("frmProbe");
  setWindowTitle("Zelvan Probe");

  pcProbe = new QStackedWidget(this);  // a page control whose tabs are never shown
  pcProbe->setObjectName("pcProbe");
  BuildWelcomePage();
  BuildSelectPage();
  BuildProcessPage();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pcProbe);

  tmrProcess = new QTimer(this);
  tmrProcess->setObjectName("tmrProcess");
  tmrProcess->setInterval(kPollMs);
  connect(tmrProcess, &QTimer::timeout, this, &TfrmProbe::tmrProcessTimer);

  resize(kWidth, kHeight);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }

  ShowPage(tsWelcome);
  btnSelectNext->setEnabled(false);
  lblShowThreadDescription->setText(kBegin);
  lblShowStateDescription->clear();
  lblShowStatusText->clear();
  tmrProcess->stop();
  tlbTrace->SetTabStops({50, 100, 150, 200, 250, 300, 350, 400, 450, 500});
  const QFontMetrics fm(tlbTrace->font());
  FLineHeight = std::max(1, fm.height());
  FCharWidth = tlbTrace->AverageCharWidth();
  FMaxLineLength = -1;
  FResultCode = 0;
}

TfrmProbe::~TfrmProbe() {
  FClosing = true;
  FInvoker->Close();
  for (auto& worker : FWorkers) worker->Terminate();
  FThread = nullptr;
  FWorkers.clear();  // joins: the closed invoker lets every hand-over return at once
}

QPushButton* TfrmProbe::MakeButton(const QString& name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  const int text_width = button->fontMetrics().horizontalAdvance(QString(text).remove(u'&'));
  button->setFixedSize(std::max(kButtonWidth, text_width + 16), kButtonHeight);
  return button;
}

void TfrmProbe::BuildWelcomePage() {
  tsWelcome = new QWidget;
  tsWelcome->setObjectName("tsWelcome");
  mmoWelcome = new QPlainTextEdit(tsWelcome);
  mmoWelcome->setObjectName("mmoWelcome");
  mmoWelcome->setReadOnly(true);
  mmoWelcome->setFrameShape(QFrame::NoFrame);
  mmoWelcome->setFocusPolicy(Qt::NoFocus);
  QPalette face = mmoWelcome->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  mmoWelcome->setPalette(face);
  mmoWelcome->setPlainText(kWelcome);

  btnWelcomeNext = MakeButton("btnWelcomeNext", "Ne&xt", tsWelcome);
  btnWelcomeNext->setDefault(true);
  btnWelcomeClose = MakeButton("btnWelcomeClose", "Close", tsWelcome);
  connect(btnWelcomeNext, &QPushButton::clicked, this, [this] { ShowPage(tsSelect); });
  connect(btnWelcomeClose, &QPushButton::clicked, this, &QWidget::close);

  auto* layout = new QVBoxLayout(tsWelcome);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(mmoWelcome, 1);
  layout->addLayout(ButtonRow({btnWelcomeNext, btnWelcomeClose}));
  pcProbe->addWidget(tsWelcome);
}

void TfrmProbe::BuildSelectPage() {
  tsSelect = new QWidget;
  tsSelect->setObjectName("tsSelect");
  rgSelect = new QGroupBox(" Available Items ", tsSelect);
  rgSelect->setObjectName("rgSelect");
  FSelectItems = new QButtonGroup(rgSelect);
  FSelectItems->setObjectName("rgSelectItems");
  auto* items = new QVBoxLayout(rgSelect);
  for (int i = 0; i < 3; ++i) {
    auto* item = new QRadioButton(kItems[i], rgSelect);
    item->setObjectName(QString("rgSelectItem%1").arg(i));
    FSelectItems->addButton(item, i);
    items->addWidget(item);
  }
  connect(FSelectItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) rgSelectClick();
  });

  lblServer = PlainLabel("lblServer", "Server", tsSelect);
  edServer = new QLineEdit(tsSelect);
  edServer->setObjectName("edServer");
  lblPort = PlainLabel("lblPort", "Port (in hex)", tsSelect);
  edPort = new QLineEdit(tsSelect);
  edPort->setObjectName("edPort");
  edPort->setMaxLength(4);
  lblRouteCode = PlainLabel("lblRouteCode", "Route Code", tsSelect);
  edRouteCode = new QLineEdit("A", tsSelect);
  edRouteCode->setObjectName("edRouteCode");
  edRouteCode->setMaxLength(1);
  auto* edits = new QFormLayout;
  edits->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
  edits->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  edits->addRow(lblServer, edServer);
  edits->addRow(lblPort, edPort);
  edits->addRow(lblRouteCode, edRouteCode);
  const int narrow = edPort->fontMetrics().horizontalAdvance(u'W') * 6 + 12;
  edPort->setMaximumWidth(narrow);
  edRouteCode->setMaximumWidth(narrow);

  btnSelectBack = MakeButton("btnSelectBack", "&Back", tsSelect);
  btnSelectNext = MakeButton("btnSelectNext", "Ne&xt", tsSelect);
  btnSelectNext->setDefault(true);
  btnSelectClose = MakeButton("btnSelectClose", "Close", tsSelect);
  connect(btnSelectBack, &QPushButton::clicked, this, [this] { ShowPage(tsWelcome); });
  connect(btnSelectNext, &QPushButton::clicked, this, [this] { ShowPage(tsProcess); });
  connect(btnSelectClose, &QPushButton::clicked, this, &QWidget::close);

  auto* layout = new QVBoxLayout(tsSelect);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(rgSelect);
  layout->addSpacing(12);
  layout->addLayout(edits);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({btnSelectBack, btnSelectNext, btnSelectClose}));
  pcProbe->addWidget(tsSelect);
}

void TfrmProbe::BuildProcessPage() {
  tsProcess = new QWidget;
  tsProcess->setObjectName("tsProcess");

  pnlTop = new QFrame(tsProcess);
  pnlTop->setObjectName("pnlTop");
  pnlTop->setFrameShape(QFrame::NoFrame);
  pnlTop->setMinimumHeight(kStatusPanelHeight);
  pnlShowThread = new QFrame(pnlTop);
  pnlShowThread->setObjectName("pnlShowThread");
  pnlShowThread->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  lblShowThreadDescription = PlainLabel("lblShowThreadDescription", {}, pnlShowThread);
  lblShowStateDescription = PlainLabel("lblShowStateDescription", {}, pnlShowThread);
  lblShowStatusText = PlainLabel("lblShowStatusText", {}, pnlShowThread);
  auto* lines = new QVBoxLayout(pnlShowThread);
  lines->setContentsMargins(6, 2, 6, 2);
  lines->setSpacing(0);
  lines->addWidget(lblShowThreadDescription);
  lines->addWidget(lblShowStateDescription);
  lines->addWidget(lblShowStatusText);
  auto* top = new QVBoxLayout(pnlTop);
  top->setContentsMargins(4, 4, 4, 4);
  top->addWidget(pnlShowThread);

  tlbTrace = new ZTabListBox(tsProcess);
  tlbTrace->setObjectName("tlbTrace");
  tlbTrace->setAccessibleName("Trace");
  auto* copy = new QAction("&Copy", tlbTrace);
  copy->setObjectName("actCopy");
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, &TfrmProbe::CopySelected);
  auto* copy_all = new QAction("Copy &All", tlbTrace);
  copy_all->setObjectName("actCopyAll");
  copy_all->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  copy_all->setShortcutContext(Qt::WidgetShortcut);
  connect(copy_all, &QAction::triggered, this, &TfrmProbe::CopyAll);
  auto* save = new QAction(QString::fromUtf8("&Save Trace\u2026"), tlbTrace);
  save->setObjectName("actSaveTrace");
  save->setShortcut(QKeySequence::Save);
  save->setShortcutContext(Qt::WindowShortcut);
  connect(save, &QAction::triggered, this, &TfrmProbe::SaveTraceAs);
  tlbTrace->addActions({copy, copy_all, save});
  tlbTrace->setContextMenuPolicy(Qt::ActionsContextMenu);

  pnlBottom = new QFrame(tsProcess);
  pnlBottom->setObjectName("pnlBottom");
  pnlBottom->setFrameShape(QFrame::NoFrame);
  pnlBottom->setMinimumHeight(kButtonPanelHeight);
  lblProgress = PlainLabel("lblProgress", {}, pnlBottom);
  // A long phase text must never widen the window.
  lblProgress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  pbProgress = new QProgressBar(pnlBottom);
  pbProgress->setObjectName("pbProgress");
  pbProgress->setTextVisible(false);
  pbProgress->setMaximumWidth(120);
  pbProgress->setMaximumHeight(12);
  pbProgress->hide();
  btnProcessBack = MakeButton("btnProcessBack", "&Back", pnlBottom);
  btnProcessTest = MakeButton("btnProcessTest", "&Test", pnlBottom);
  btnProcessTest->setDefault(true);
  btnProcessStop = MakeButton("btnProcessStop", "&Stop", pnlBottom);
  btnProcessStop->setEnabled(false);
  btnProcessClose = MakeButton("btnProcessClose", "Close", pnlBottom);
  connect(btnProcessBack, &QPushButton::clicked, this, &TfrmProbe::btnProcessBackClick);
  connect(btnProcessTest, &QPushButton::clicked, this, &TfrmProbe::btnProcessTestClick);
  connect(btnProcessStop, &QPushButton::clicked, this, &TfrmProbe::btnProcessStopClick);
  connect(btnProcessClose, &QPushButton::clicked, this, &QWidget::close);
  auto* bottom = new QHBoxLayout(pnlBottom);
  bottom->setContentsMargins(12, 8, 12, 12);
  bottom->addWidget(lblProgress, 1);
  bottom->addWidget(pbProgress);
  bottom->addSpacing(12);
  bottom->addWidget(btnProcessBack);
  bottom->addWidget(btnProcessTest);
  bottom->addWidget(btnProcessStop);
  bottom->addWidget(btnProcessClose);

  auto* layout = new QVBoxLayout(tsProcess);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addWidget(tlbTrace, 1);
  layout->addWidget(pnlBottom);
  pcProbe->addWidget(tsProcess);
}

void TfrmProbe::SetResultsForm(TfrmResults* results) { FResults = results; }

void TfrmProbe::SetWorkerFactory(WorkerFactory factory) {
  FFactory = factory ? std::move(factory) : DefaultWorkerFactory();
}

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
  FreeEndedWorkers();
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
  const std::string route_code(1, letter);
  const std::string server = Latin1(edServer->text());
  const auto port = static_cast<std::int32_t>(HexToIntDef(Latin1(edPort->text())));

  FTestServer = edServer->text();
  FTestPort = edPort->text();
  FTestPortNumber = port;
  FTestRouteCode = Bytes(route_code);
  FTestStarted = QDateTime::currentDateTime();
  FProgress.Reset();

  std::unique_ptr<ZExpressTcpClientThread> worker = FFactory(
      "ExpressT", [this](const std::string& name, const std::string& text) { AddTraceLine(name, text); },
      server, port, route_code, FInvoker);
  if (!worker) return;
  worker->SetOnErrorBox([this](const std::string& text) { ShowFatalErrorBox(text); });
  ZExpressTcpClientThread* started = worker.get();
  FWorkers.push_back(std::move(worker));
  FThread = started;

  FStarting = true;
  const bool had_focus = btnProcessTest->hasFocus();
  Disable(btnProcessTest, tlbTrace);
  started->Resume();
  const bool ok = started->WaitForStartup();
  FStarting = false;
  btnProcessTest->setEnabled(true);
  if (had_focus && tlbTrace->hasFocus()) btnProcessTest->setFocus();
  // Only the newest worker is followed, and only while the window stays open.
  if (ok && !FClosing && FThread == started) {
    tmrProcess->start();
    btnProcessStop->setEnabled(true);
    UpdateProgress(started->GetStateName());
    pbProgress->show();
  }
  if (FClosing) FinishClose();
}

void TfrmProbe::tmrProcessTimer() {
  Busy busy(this);
  RouteList list;
  bool finished = false;
  if (FThread != nullptr) {
    lblShowThreadDescription->setText(Bytes(FThread->GetName()));
    lblShowStateDescription->setText(Bytes(FThread->GetStateName()));
    lblShowStatusText->setText(Bytes(FThread->GetStatusText(0)));
    const std::string state = FThread->GetStateName();
    UpdateProgress(state);
    // A worker that was stopped ends without reaching "Halted"; once its thread has
    // ended its result is just as final.
    if (state == "Halted" || FThread->Finished()) {
      FResultCode = FThread->GetResultCode();
      list = FThread->GetResultList();
      FThread->Terminate();
      FThread = nullptr;
      finished = true;
    }
  }
  if (!finished) return;
  tmrProcess->stop();
  lblShowStateDescription->clear();
  lblShowStatusText->clear();
  EndTestDisplay();
  // Only the three known results have a banner and a results window.
  if (const char* banner = SpacedBanner(FResultCode); *banner != '\0') {
    lblShowThreadDescription->setText(banner);
    ShowResults(FResultCode, list);
  }
  if (FClosing) FinishClose();
}

void TfrmProbe::Disable(QPushButton* button, QWidget* focus_next) {
  // Qt moves the focus of a disabled button to the next one in the chain, which can
  // be Close: a second Enter would then close the window.
  if (button->hasFocus()) focus_next->setFocus();
  button->setEnabled(false);
}

void TfrmProbe::EndTestDisplay() {
  Disable(btnProcessStop, btnProcessTest);
  // The label stays (empty) so that it keeps the buttons to the right.
  lblProgress->clear();
  pbProgress->hide();
}

void TfrmProbe::UpdateProgress(const std::string& state_name) {
  FLastState = state_name;
  lblProgress->setText(Bytes(FProgress.Describe(state_name)));
  const int count = FProgress.RouteCount();
  const int current = FProgress.CurrentRoute();
  if (state_name == "UpdateRoutes" && current > 0 && count >= current) {
    pbProgress->setRange(0, count);
    pbProgress->setValue(current - 1);
  } else {
    pbProgress->setRange(0, 0);  // busy: the length of this phase is unknown
  }
}

void TfrmProbe::ShowResults(std::int32_t code, const RouteList& list) {
  if (FClosing) return;
  if (FResults == nullptr) {
    if (!FOwnResults) FOwnResults = std::make_unique<TfrmResults>();
    FResults = FOwnResults.get();
  }
  FResults->ShowResults(code, list);
}

void TfrmProbe::btnProcessBackClick() {
  // The worker of a running test is not stopped: the poll and its lines go on.
  tlbTrace->Clear();
  lblShowThreadDescription->setText(kBegin);
  ShowPage(tsSelect);
}

void TfrmProbe::btnProcessStopClick() {
  if (FThread == nullptr) return;
  FThread->Terminate();
  Disable(btnProcessStop, btnProcessTest);
}

void TfrmProbe::AddTraceLine(const std::string& name, const std::string& text) {
  if (QThread::currentThread() != thread()) {
    // A packet's header line, called on the worker thread: handed over and waited
    // for, like Trace, so it lands in order with the worker's other lines.
    FInvoker->RunAndWait([&] { AppendTraceLine(name, text); });
    return;
  }
  AppendTraceLine(name, text);
}

void TfrmProbe::AppendTraceLine(const std::string& name, const std::string& text) {
  tlbTrace->setUpdatesEnabled(false);
  QString line = Bytes(name);
  line += u'\t';
  line += Bytes(FormatNow("ddd mm/dd hh:nn:ss"));
  line += u'\t';
  line += Bytes(text);
  const int length = static_cast<int>(std::min<qsizetype>(line.size(), 1 << 24));
  if (length + kLineSlack > FMaxLineLength) FMaxLineLength = length + kLineSlack;
  tlbTrace->AddLine(line);
  // The list clamps the top line; the newest line ends up in view.
  tlbTrace->SetTopIndex(tlbTrace->Count() - tlbTrace->viewport()->height() / FLineHeight + 2);
  tlbTrace->SetHorizontalExtent(FMaxLineLength * FCharWidth);
  tlbTrace->setUpdatesEnabled(true);
  const int route = FProgress.CurrentRoute();
  FProgress.OnTrace(text);
  // A new route shows at once rather than at the next poll.
  if (FProgress.CurrentRoute() != route && tmrProcess->isActive()) UpdateProgress(FLastState);
}

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

QString TfrmProbe::TraceText(bool with_header) const {
  QString out;
  if (with_header) {
    out += "Zelvan Probe trace\n";
    if (FTestStarted.isValid()) {
      out += "Server: " + FTestServer + "\n";
      out += QString("Port: %1 (%2)\n").arg(FTestPort).arg(FTestPortNumber);
      out += "Route Code: " + FTestRouteCode + "\n";
      out += "Test started: " + FTestStarted.toString("yyyy-MM-dd hh:mm:ss") + "\n";
    }
    out += "\n";
  }
  for (int i = 0; i < tlbTrace->Count(); ++i) {
    out += tlbTrace->Line(i);
    out += u'\n';
  }
  return out;
}

bool TfrmProbe::SaveTrace(const QString& path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  // Each character of a line is one byte of the original text.
  const QByteArray bytes = TraceText(true).toLatin1();
  if (file.write(bytes) != bytes.size()) return false;
  return file.commit();
}

void TfrmProbe::CopySelected() {
  const int index = tlbTrace->ItemIndex();
  if (index >= 0) QGuiApplication::clipboard()->setText(tlbTrace->Line(index));
}

void TfrmProbe::CopyAll() { QGuiApplication::clipboard()->setText(TraceText(true)); }

void TfrmProbe::SaveTraceAs() {
  const QString suggested =
      "zelvan-probe-trace-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss") + ".txt";
  const QString path = QFileDialog::getSaveFileName(this, "Save Trace", suggested,
                                                    "Text files (*.txt);;All files (*)");
  if (path.isEmpty()) return;
  if (!SaveTrace(path)) ShowError("Can't save the trace to " + path);
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

void TfrmProbe::closeEvent(QCloseEvent* event) {
  BeginClose();
  event->accept();
}

bool TfrmProbe::CanFreeWorkers() const { return FBusy == 0 && FInvoker->ServingDepth() == 0; }

void TfrmProbe::BeginClose() {
  FClosing = true;
  tmrProcess->stop();
  // From here a worker's hand-over returns at once, so no worker can wait on us.
  FInvoker->Close();
  for (auto& worker : FWorkers) worker->Terminate();
  // A box open on the stack keeps its worker waiting until it closes.
  for (QMessageBox* box : FErrorBoxes) box->reject();
  if (FResults != nullptr && FResults->isVisible()) FResults->reject();
  if (CanFreeWorkers()) StopWorkers(kCloseWaitMs);
  else QTimer::singleShot(0, this, &TfrmProbe::FinishClose);
}

void TfrmProbe::FinishClose() {
  if (!FClosing) return;
  if (CanFreeWorkers()) StopWorkers(kCloseWaitMs);
  else QTimer::singleShot(10, this, &TfrmProbe::FinishClose);
}

bool TfrmProbe::StopWorkers(int ms) {
  FInvoker->Close();
  tmrProcess->stop();
  for (auto& worker : FWorkers) worker->Terminate();
  if (!CanFreeWorkers()) return false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (auto& worker : FWorkers) {
    while (!worker->Finished() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (FThread != nullptr && FThread->Finished()) FThread = nullptr;
  FreeEndedWorkers();
  return FWorkers.empty();
}

void TfrmProbe::FreeEndedWorkers() {
  if (!CanFreeWorkers()) return;
  std::erase_if(FWorkers, [this](const std::unique_ptr<ZExpressTcpClientThread>& worker) {
    if (!worker->Finished() || worker.get() == FThread) return false;
    return true;
  });
}

}  // namespace zp
