#include "app/ResultsForm.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
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
#include <vector>

#include "app/HistoryForm.h"
#include "app/TabBox.h"
#include "run/RunConstants.h"
#include "report/HtmlReport.h"
#include "run/ProgramVersion.h"
#include "history/RunHistory.h"
#include "run/RunWords.h"
#include "run/TraceLine.h"
#include "platform/SystemName.h"

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

ResultsContext RecordAndCompare(const std::shared_ptr<RunHistory>& history, const RunSnapshot& run) {
  ResultsContext context;
  context.history = history;
  if (!history || !RunHistory::Available()) return context;
  // The previous run is read before this one is written: another probe may record in between.
  context.previous = history->LastWith(run.settings);
  context.compared = context.previous.has_value() || history->LastError().empty();
  HistoryRun record = HistoryRunFrom(run, ProgramVersion());
  if (!history->Record(record))
    std::fprintf(stderr, "zelvan-probe: the test was not recorded in the history: %s\n", history->LastError().c_str());
  return context;
}

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

  btnSaveReport = new QPushButton(QString::fromUtf8("Save &Report\u2026"), pnlTop);
  btnSaveReport->setObjectName("btnSaveReport");
  btnSaveReport->setAutoDefault(false);
  btnSaveReport->setFixedHeight(27);
  connect(btnSaveReport, &QPushButton::clicked, this, &TfrmResults::SaveReportAs);

  btnHistory = new QPushButton(QString::fromUtf8("&History\u2026"), pnlTop);
  btnHistory->setObjectName("btnHistory");
  btnHistory->setAutoDefault(false);
  btnHistory->setFixedHeight(27);
  connect(btnHistory, &QPushButton::clicked, this, &TfrmResults::ShowHistory);

  btnClose = new QPushButton("&Close", pnlTop);
  btnClose->setObjectName("btnClose");
  btnClose->setDefault(true);
  btnClose->setFixedSize(std::max(75, btnClose->sizeHint().width()), 27);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);

  auto* top = new QHBoxLayout(pnlTop);
  top->setContentsMargins(4, 4, 8, 4);
  top->addWidget(lblShowResult, 1);
  top->addWidget(btnCopyAll);
  top->addWidget(btnSaveReport);
  top->addWidget(btnHistory);
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
    // With a history, how each route did against the last run with the same settings.
    tlbResults->AddLine(FContext.compared ? "Score\tChange\tRoute\tOutcome" : "Score\tRoute\tOutcome");
    for (const RouteResult& route : run.routes) {
      char score[16];
      std::snprintf(score, sizeof score, "%6d", static_cast<int>(route.score));
      QString line = QString::fromLatin1(score) + u'\t';
      if (FContext.compared) line += ChangeText(route) + u'\t';
      tlbResults->AddLine(line + Bytes(route.entry) + u'\t' + Words(RouteReason(route, run.stopped)));
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
  // Each column starts after the widest text before it, whatever the font: the route
  // lines are those with as many columns as the heading.
  const int tabs = static_cast<int>(tlbResults->Line(0).count(u'\t'));
  const int unit_x4 = tlbResults->AverageCharWidth();  // four tab units
  std::vector<int> stops{kResultTabStop};
  for (int column = 1; column < tabs; ++column) {
    tlbResults->SetTabStops(stops);
    int widest = tlbResults->TextWidth(tlbResults->Line(0).section(u'\t', 0, column));
    for (int i = 1; i < tlbResults->Count(); ++i) {
      if (tlbResults->Line(i).count(u'\t') == tabs)
        widest = std::max(widest, tlbResults->TextWidth(tlbResults->Line(i).section(u'\t', 0, column)));
    }
    const int stop = (widest * 4 + unit_x4 - 1) / unit_x4 + 4 * kColumnGap;
    stops.push_back(std::max(stop, stops.back() + kResultTabStop));
  }
  tlbResults->SetTabStops(stops);
}

QString TfrmResults::ChangeText(const RouteResult& route) const {
  const HistoryRoute* before = FContext.previous ? FContext.previous->FindRoute(route.name) : nullptr;
  const RouteChange change = CompareRoute(before, route.failed, route.score);
  QString text = QString::fromLatin1(RouteChangeName(change));
  if (change == RouteChange::Better || change == RouteChange::Worse) text += QString(" (was %1)").arg(before->score);
  return text;
}

void TfrmResults::ShowResults(const RunSnapshot& run, ResultsContext context) {
  FRun = run;
  FContext = std::move(context);
  btnHistory->setEnabled(FContext.history != nullptr);
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

bool TfrmResults::SaveReport(const QString& path) {
  ReportInput in;
  in.run = FRun;
  for (const QString& line : FContext.trace) {
    const QByteArray bytes = line.toUtf8();
    in.trace.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  }
  while (!in.trace.empty() && in.trace.back().empty()) in.trace.pop_back();
  in.version = ProgramVersion();
  in.system = SystemName();
  if (!FContext.history) {
    in.history_note = RunHistory::Available() ? "This window keeps no history." : RunHistory::UnavailableText();
  } else if (const auto runs = FContext.history->Recent(FContext.history->Limit())) {
    for (auto it = runs->rbegin(); it != runs->rend(); ++it)
      if (SameSettings(it->settings, FRun.settings)) in.history.push_back(*it);
  } else {
    in.history_note = FContext.history->LastError();
  }
  const std::string html = HtmlReport(in);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(html.data(), static_cast<qint64>(html.size())) == static_cast<qint64>(html.size()) &&
         file.flush();
}

void TfrmResults::SaveReportAs() {
  const QString path = QFileDialog::getSaveFileName(this, "Save Report", "zelvan-probe-report.html",
                                                    "HTML files (*.html);;All files (*)");
  if (path.isEmpty()) return;
  if (!SaveReport(path)) QMessageBox::warning(this, "Save Report", "The report could not be written to " + path + ".");
}

void TfrmResults::ShowHistory() {
  THistoryForm form(FContext.history, this);
  form.exec();
}

}  // namespace zp
