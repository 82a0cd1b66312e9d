#include "app/ProbeFormUi.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>

#include "app/TabBox.h"
#include "session/WindowLook.h"

namespace zp {

namespace {

using namespace look;

QLabel* PlainLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QPushButton* MakeButton(const QString& name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  const int text_width = button->fontMetrics().horizontalAdvance(QString(text).remove(u'&'));
  button->setFixedSize(std::max(kButtonWidth, text_width + 16), kButtonHeight);
  return button;
}

QHBoxLayout* ButtonRow(std::initializer_list<QWidget*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  for (QWidget* button : buttons) row->addWidget(button);
  return row;
}

}  // namespace

void TProbeFormUi::Build(QWidget* form) {
  pcProbe = new QStackedWidget(form);  // a page control whose tabs are never shown
  pcProbe->setObjectName("pcProbe");
  BuildWelcomePage();
  BuildSelectPage();
  BuildProcessPage();
  auto* layout = new QVBoxLayout(form);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pcProbe);

  tmrProcess = new QTimer(form);
  tmrProcess->setObjectName("tmrProcess");
  tmrProcess->setInterval(kPollMs);
  pcProbe->setCurrentWidget(tsWelcome);
}

void TProbeFormUi::BuildWelcomePage() {
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
  mmoWelcome->setPlainText(kWelcomeText);

  btnWelcomeNext = MakeButton("btnWelcomeNext", "Ne&xt", tsWelcome);
  btnWelcomeNext->setDefault(true);
  btnWelcomeClose = MakeButton("btnWelcomeClose", "Close", tsWelcome);

  auto* layout = new QVBoxLayout(tsWelcome);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(mmoWelcome, 1);
  layout->addLayout(ButtonRow({btnWelcomeNext, btnWelcomeClose}));
  pcProbe->addWidget(tsWelcome);
}

void TProbeFormUi::BuildSelectPage() {
  tsSelect = new QWidget;
  tsSelect->setObjectName("tsSelect");
  rgSelect = new QGroupBox(" Available Items ", tsSelect);
  rgSelect->setObjectName("rgSelect");
  FSelectItems = new QButtonGroup(rgSelect);
  FSelectItems->setObjectName("rgSelectItems");
  auto* items = new QVBoxLayout(rgSelect);
  for (int i = 0; i < 3; ++i) {
    auto* item = new QRadioButton(kConnectionItems[i], rgSelect);
    item->setObjectName(QString("rgSelectItem%1").arg(i));
    FSelectItems->addButton(item, i);
    items->addWidget(item);
  }

  lblServer = PlainLabel("lblServer", "Server", tsSelect);
  edServer = new QLineEdit(tsSelect);
  edServer->setObjectName("edServer");
  lblPort = PlainLabel("lblPort", "Port (in hex)", tsSelect);
  edPort = new QLineEdit(tsSelect);
  edPort->setObjectName("edPort");
  edPort->setMaxLength(4);
  // The port is typed in hexadecimal: nothing else gets into the box.
  edPort->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]{0,4}"), edPort));
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

  auto* layout = new QVBoxLayout(tsSelect);
  layout->setContentsMargins(12, 12, 12, 12);
  layout->addWidget(rgSelect);
  layout->addSpacing(12);
  layout->addLayout(edits);
  layout->addStretch(1);
  layout->addLayout(ButtonRow({btnSelectBack, btnSelectNext, btnSelectClose}));
  pcProbe->addWidget(tsSelect);
}

void TProbeFormUi::BuildProcessPage() {
  tsProcess = new QWidget;
  tsProcess->setObjectName("tsProcess");

  pnlTop = new QFrame(tsProcess);
  pnlTop->setObjectName("pnlTop");
  pnlTop->setFrameShape(QFrame::NoFrame);
  pnlTop->setMinimumHeight(kStatusPanelHeight);
  pnlShowThread = new QFrame(pnlTop);
  pnlShowThread->setObjectName("pnlShowThread");
  pnlShowThread->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  lblResultIcon = PlainLabel("lblResultIcon", {}, pnlShowThread);
  lblResultIcon->hide();
  lblShowThreadDescription = PlainLabel("lblShowThreadDescription", {}, pnlShowThread);
  lblShowStateDescription = PlainLabel("lblShowStateDescription", {}, pnlShowThread);
  // The phase in words sits beside the worker's terse state name.
  lblProgress = PlainLabel("lblProgress", {}, pnlShowThread);
  lblProgress->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);  // never widens the window
  lblShowStatusText = PlainLabel("lblShowStatusText", {}, pnlShowThread);
  auto* banner = new QHBoxLayout;
  banner->setSpacing(6);
  banner->addWidget(lblResultIcon);
  banner->addWidget(lblShowThreadDescription, 1);
  auto* state = new QHBoxLayout;
  state->setSpacing(16);
  state->addWidget(lblShowStateDescription);
  state->addWidget(lblProgress, 1);
  auto* lines = new QVBoxLayout(pnlShowThread);
  lines->setContentsMargins(6, 2, 6, 2);
  lines->setSpacing(0);
  lines->addLayout(banner);
  lines->addLayout(state);
  lines->addWidget(lblShowStatusText);
  auto* top = new QVBoxLayout(pnlTop);
  top->setContentsMargins(4, 4, 4, 4);
  top->addWidget(pnlShowThread);

  tlbTrace = new ZTabListBox(tsProcess);
  tlbTrace->setObjectName("tlbTrace");
  tlbTrace->setAccessibleName("Trace");

  pnlBottom = new QFrame(tsProcess);
  pnlBottom->setObjectName("pnlBottom");
  pnlBottom->setFrameShape(QFrame::NoFrame);
  pnlBottom->setMinimumHeight(kButtonPanelHeight);
  pbProgress = new QProgressBar(pnlBottom);
  pbProgress->setObjectName("pbProgress");
  pbProgress->setTextVisible(false);
  pbProgress->setMaximumWidth(120);
  pbProgress->setMaximumHeight(12);
  pbProgress->hide();
  btnProcessHistory = MakeButton("btnProcessHistory", QString::fromUtf8("&History\u2026"), pnlBottom);
  btnProcessBack = MakeButton("btnProcessBack", "&Back", pnlBottom);
  btnProcessTest = MakeButton("btnProcessTest", "&Test", pnlBottom);
  btnProcessTest->setDefault(true);
  btnProcessStop = MakeButton("btnProcessStop", "&Stop", pnlBottom);
  btnProcessStop->setEnabled(false);
  btnProcessClose = MakeButton("btnProcessClose", "Close", pnlBottom);
  auto* bottom = new QHBoxLayout(pnlBottom);
  bottom->setContentsMargins(12, 8, 12, 12);
  bottom->addWidget(pbProgress);
  bottom->addStretch(1);
  bottom->addSpacing(12);
  bottom->addWidget(btnProcessHistory);
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

}  // namespace zp
