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

#include "session/WindowLook.h"
#include "app/HistoryForm.h"
#include "app/TabBox.h"
#include "history/RunHistory.h"
#include "session/RunReport.h"

namespace zp {

namespace {

constexpr int kWidth = look::kResultsWidth;
constexpr int kHeight = look::kResultsHeight;
constexpr int kTopPanelHeight = 41;
constexpr int kResultTabStop = 50;  // tab units: the route column follows a 6-digit score
constexpr int kColumnGap = 3;       // characters between the route and its outcome

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

void TfrmResults::Fill(const ResultsView& results) {
  if (!results.banner.word.empty()) lblShowResult->setText(QString::fromUtf8(results.banner.word));
  tlbResults->setUpdatesEnabled(false);
  tlbResults->Clear();
  SetupTabs();
  for (const ResultLine& line : results.lines) tlbResults->AddLine(QString::fromUtf8(line.Text()));
  if (!results.lines.empty() && results.lines.front().kind == ResultLine::Kind::Heading) FitColumns();
  lblLegend->setText(QString::fromUtf8(results.legend));
  lblLegend->setVisible(!results.legend.empty());
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

void TfrmResults::ShowResults(const EndedRun& ended, std::shared_ptr<RunHistory> history) {
  FEnded = ended;
  FHistory = std::move(history);
  btnHistory->setEnabled(FHistory != nullptr);
  Fill(ended.results);
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
  const std::string html = ReportOf(FEnded, FHistory.get());
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
  THistoryForm form(FHistory, this);
  form.exec();
}

}  // namespace zp
