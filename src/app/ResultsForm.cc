#include "app/ResultsForm.h"

#include <QAction>
#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>

#include "app/TabBox.h"
#include "client/ExchangeHost.h"
#include "client/RunWords.h"
#include "client/TraceLine.h"

namespace zp {

namespace {

constexpr int kWidth = 459;
constexpr int kHeight = 280;
constexpr int kTopPanelHeight = 41;
constexpr int kResultTabStop = 50;  // tab units: the route column follows a 6-digit score
constexpr int kColumnGap = 3;       // characters between the route and its outcome

// Bytes from the network or typed: one character per byte, control characters escaped.
QString Bytes(const std::string& text) {
  const std::string shown = EscapeControls(text);
  return QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size()));
}

// The system's own words (UTF-8), which may quote the network: escaped first, so that a
// byte that is no text shows as \xNN rather than as a replacement character.
QString Words(const std::string& text) { return QString::fromUtf8(EscapeControls(text)); }

QString ServerName(const ServerResult& server) {
  QString name = Bytes(server.server) + u':' + QString::number(server.port, 16).toUpper();
  if (!server.address.empty() && server.address != server.server) name += " (" + Bytes(server.address) + ")";
  return name;
}

}  // namespace

TfrmResults::TfrmResults(QWidget* parent) : QDialog(parent) {
  setObjectName("frmResults");
  setWindowTitle("Results");
  setModal(true);

  pnlTop = new QFrame(this);
  pnlTop->setObjectName("pnlTop");
  pnlTop->setFrameShape(QFrame::NoFrame);
  pnlTop->setFixedHeight(kTopPanelHeight);

  lblShowResult = new QLabel("<<show result>>", pnlTop);
  lblShowResult->setObjectName("lblShowResult");
  lblShowResult->setTextFormat(Qt::PlainText);
  lblShowResult->setAlignment(Qt::AlignCenter);
  lblShowResult->setMinimumSize(345, 33);
  QFont banner = lblShowResult->font();
  banner.setPixelSize(24);
  lblShowResult->setFont(banner);

  btnCopyAll = new QPushButton("Copy &All", pnlTop);
  btnCopyAll->setObjectName("btnCopyAll");
  btnCopyAll->setAutoDefault(false);
  btnCopyAll->setFixedSize(std::max(75, btnCopyAll->sizeHint().width()), 27);
  connect(btnCopyAll, &QPushButton::clicked, this, &TfrmResults::CopyAll);

  btnClose = new QPushButton("&Close", pnlTop);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  btnClose->setFixedSize(std::max(75, btnClose->sizeHint().width()), 27);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  auto* top = new QHBoxLayout(pnlTop);
  top->setContentsMargins(4, 4, 8, 4);
  top->addWidget(lblShowResult, 1);
  top->addWidget(btnCopyAll);
  top->addWidget(btnClose);

  tlbResults = new ZTabListBox(this);
  tlbResults->setObjectName("tlbResults");
  tlbResults->setAccessibleName("Results");
  tlbResults->setFrameShape(QFrame::NoFrame);
  QPalette face = tlbResults->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  tlbResults->setPalette(face);

  auto* copy = new QAction("&Copy", tlbResults);
  copy->setObjectName("actCopy");
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, &TfrmResults::CopySelected);
  auto* copy_all = new QAction("Copy &All", tlbResults);
  copy_all->setObjectName("actCopyAll");
  copy_all->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
  copy_all->setShortcutContext(Qt::WidgetShortcut);
  connect(copy_all, &QAction::triggered, this, &TfrmResults::CopyAll);
  tlbResults->addAction(copy);
  tlbResults->addAction(copy_all);
  tlbResults->setContextMenuPolicy(Qt::ActionsContextMenu);

  lblLegend = new QLabel(this);
  lblLegend->setObjectName("lblLegend");
  lblLegend->setTextFormat(Qt::PlainText);
  lblLegend->setWordWrap(true);
  lblLegend->setContentsMargins(6, 4, 6, 6);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(pnlTop);
  layout->addWidget(tlbResults, 1);
  layout->addWidget(lblLegend);

  resize(kWidth, kHeight);
  SetupTabs();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->geometry();
    move(area.x() + (area.width() - kWidth) / 2, area.y() + (area.height() - kHeight) / 2);
  }
}

void TfrmResults::SetupTabs() { tlbResults->SetTabStops({kResultTabStop}); }

void TfrmResults::Fill(const RunSnapshot& run) {
  if (const char* word = RunBannerWord(run); *word != '\0') lblShowResult->setText(word);
  tlbResults->setUpdatesEnabled(false);
  tlbResults->Clear();
  SetupTabs();
  if (!run.routes.empty()) {
    tlbResults->AddLine("Score\tRoute\tOutcome");
    for (const RouteResult& route : run.routes) {
      char score[16];
      std::snprintf(score, sizeof score, "%6d", static_cast<int>(route.score));
      tlbResults->AddLine(QString::fromLatin1(score) + u'\t' + Bytes(route.entry) + u'\t' +
                          Words(RouteReason(route, run.stopped)));
    }
    tlbResults->AddLine(QString());
    tlbResults->AddLine("Public key: " + Words(KeyReason(run.key, run.stopped)));
    FitColumns();
    lblLegend->setText(QString::fromUtf8(ScoreLegend(ExchangeSettings{}.FDetailRecords)));
    lblLegend->show();
  } else {
    // Nothing to score: what each route server did is the whole story.
    if (run.servers.empty()) {
      tlbResults->AddLine("No route server was asked.");
    } else {
      tlbResults->AddLine("No route server gave a route. Route servers asked:");
      for (const ServerResult& server : run.servers)
        tlbResults->AddLine("    " + ServerName(server) + QString::fromUtf8(" \u2014 ") + Words(ServerReason(server)));
    }
    lblLegend->clear();
    lblLegend->hide();
  }
  int widest = 0;
  for (int i = 0; i < tlbResults->Count(); ++i) widest = std::max(widest, tlbResults->TextWidth(tlbResults->Line(i)));
  tlbResults->SetHorizontalExtent(widest + tlbResults->AverageCharWidth());
  tlbResults->horizontalScrollBar()->setValue(0);
  tlbResults->setUpdatesEnabled(true);

  // Wide enough for the lines where the screen allows; never narrower than the window's own size.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const int room = screen->availableGeometry().width() * 9 / 10;
    const int want = std::clamp(widest + 4 * tlbResults->AverageCharWidth(), kWidth, std::max(kWidth, room));
    if (want > width()) resize(want, height());
  }
}

void TfrmResults::FitColumns() {
  // Outcomes start in one column after the longest route, whatever the font.
  int widest = 0;
  for (int i = 1; i < tlbResults->Count(); ++i) {
    const QString route = tlbResults->Line(i).section(u'\t', 0, 1);
    if (tlbResults->Line(i).count(u'\t') == 2) widest = std::max(widest, tlbResults->TextWidth(route));
  }
  widest = std::max(widest, tlbResults->TextWidth("Score\tRoute"));
  const int unit_x4 = tlbResults->AverageCharWidth();  // four tab units
  const int outcome = (widest * 4 + unit_x4 - 1) / unit_x4 + 4 * kColumnGap;
  tlbResults->SetTabStops({kResultTabStop, std::max(outcome, 2 * kResultTabStop)});
}

void TfrmResults::ShowResults(const RunSnapshot& run) {
  Fill(run);
  btnClose->setFocus();
  exec();
}

QString TfrmResults::Text() const {
  QString out = lblShowResult->text() + u'\n';
  for (int i = 0; i < tlbResults->Count(); ++i) out += tlbResults->Line(i) + u'\n';
  if (!lblLegend->text().isEmpty()) out += lblLegend->text() + u'\n';
  return out;
}

void TfrmResults::CopySelected() {
  const int index = tlbResults->ItemIndex();
  if (index >= 0) QGuiApplication::clipboard()->setText(tlbResults->Line(index));
}

void TfrmResults::CopyAll() { QGuiApplication::clipboard()->setText(Text()); }

}  // namespace zp
