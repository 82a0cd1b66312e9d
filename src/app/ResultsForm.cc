#include "app/ResultsForm.h"

#include <QAction>
#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>

#include "app/HistoryForm.h"
#include "app/PlainLabel.h"
#include "app/ResultBanner.h"
#include "app/TabBox.h"
#include "history/RunHistory.h"
#include "session/RunReport.h"
#include "session/WindowLook.h"

namespace zp {

namespace {

constexpr int kWidth = look::kResultsWidth;
constexpr int kHeight = look::kResultsHeight;
constexpr int kResultTabStop = 50;  // tab units: the route column follows a 6-digit score
constexpr int kColumnGap = 3;       // characters between the route and its outcome
constexpr int kMostRowsShown = 16;  // lines the list asks room for; more scroll

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  button->setMinimumWidth(75);
  return button;
}

// The lines the list shows: what to check next has a place of its own below it.
bool InList(const ResultLine& line) {
  return line.kind != ResultLine::Kind::Steps && line.kind != ResultLine::Kind::Step;
}

}  // namespace

TfrmResults::TfrmResults(QWidget* parent) : QDialog(parent), FReportFolder(QDir::homePath()) {
  setObjectName("frmResults");
  setWindowTitle("Results");
  setModal(true);

  auto* top = new QFrame(this);
  top->setObjectName("pnlTop");
  lblResultIcon = PlainLabel("lblResultIcon", top);
  lblShowResult = PlainLabel("lblShowResult", top);
  lblShowResult->setText("<<show result>>");
  QFont banner = lblShowResult->font();
  banner.setPixelSize(24);
  banner.setBold(true);
  lblShowResult->setFont(banner);
  // A key that failed is said beside the result, where a glance finds it.
  lblKeyNote = PlainLabel("lblKeyNote", top);
  lblKeyNote->setWordWrap(true);
  auto* top_row = new QHBoxLayout(top);
  top_row->setContentsMargins(8, 6, 8, 4);
  top_row->setSpacing(8);
  top_row->addWidget(lblResultIcon);
  top_row->addWidget(lblShowResult);
  top_row->addWidget(lblKeyNote, 1);

  tlbResults = new ZTabListBox(this);
  tlbResults->setObjectName("tlbResults");
  tlbResults->setAccessibleName("Results");
  tlbResults->setFrameShape(QFrame::NoFrame);
  tlbResults->SetMarkGutter(true);
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

  pnlSteps = new QWidget(this);
  pnlSteps->setObjectName("pnlSteps");
  FStepLines = new QVBoxLayout(pnlSteps);
  FStepLines->setContentsMargins(6, 4, 6, 0);
  FStepLines->setSpacing(2);

  lblLegend = PlainLabel("lblLegend", this);
  lblLegend->setWordWrap(true);
  lblLegend->setContentsMargins(6, 4, 6, 2);
  lblSaved = PlainLabel("lblSaved", this);
  lblSaved->setWordWrap(true);
  lblSaved->setContentsMargins(6, 2, 6, 0);
  lblSaved->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblSaved->hide();

  btnCopyAll = Button("btnCopyAll", "Copy &All", this);
  connect(btnCopyAll, &QPushButton::clicked, this, &TfrmResults::CopyAll);
  btnSaveReport = Button("btnSaveReport", QString::fromUtf8("Save &Report\u2026"), this);
  connect(btnSaveReport, &QPushButton::clicked, this, &TfrmResults::SaveReportAs);
  btnHistory = Button("btnHistory", QString::fromUtf8("&History\u2026"), this);
  connect(btnHistory, &QPushButton::clicked, this, &TfrmResults::ShowHistory);
  btnClose = Button("btnClose", "&Close", this);
  btnClose->setDefault(true);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(8, 6, 8, 8);
  buttons->addWidget(btnCopyAll);
  buttons->addWidget(btnSaveReport);
  buttons->addWidget(btnHistory);
  buttons->addStretch(1);
  buttons->addWidget(btnClose);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(top);
  layout->addWidget(tlbResults, 1);
  layout->addWidget(pnlSteps);
  layout->addWidget(lblLegend);
  layout->addWidget(lblSaved);
  layout->addLayout(buttons);

  resize(kWidth, kHeight);
  SetupTabs();
}

void TfrmResults::SetupTabs() { tlbResults->SetTabStops({kResultTabStop}); }

void TfrmResults::Fill(const ResultsView& results) {
  if (!results.banner.word.empty()) {
    lblShowResult->setText(QString::fromUtf8(results.banner.word));
    QPalette palette = lblShowResult->palette();
    palette.setColor(QPalette::WindowText, BannerColour(results.banner, this));
    lblShowResult->setPalette(palette);
    lblResultIcon->setPixmap(BannerIcon(results.banner, QFontMetrics(lblShowResult->font()).height(), this));
    lblResultIcon->setAccessibleName(QString::fromUtf8(results.banner.word));
  }
  tlbResults->SetFailedColour(LookColour(kFailedOnLight, kFailedOnDark, tlbResults));
  lblKeyNote->setText(QString::fromUtf8(results.key_note));
  QPalette note = lblKeyNote->palette();
  note.setColor(QPalette::WindowText, LookColour(kFailedOnLight, kFailedOnDark, this));
  lblKeyNote->setPalette(note);
  lblKeyNote->setVisible(!results.key_note.empty());

  tlbResults->setUpdatesEnabled(false);
  tlbResults->Clear();
  SetupTabs();
  std::size_t shown = 0;
  while (shown < results.lines.size() && InList(results.lines[shown])) ++shown;
  // The blank line that parts the steps from the lines above is the list's own end.
  if (shown < results.lines.size() && shown > 0 && results.lines[shown - 1].kind == ResultLine::Kind::Blank) --shown;
  for (std::size_t i = 0; i < shown; ++i)
    tlbResults->AddLine(QString::fromUtf8(results.lines[i].Text()),
                        results.lines[i].failed ? LineMark::Failed : LineMark::None);
  if (!results.lines.empty() && results.lines.front().kind == ResultLine::Kind::Heading) FitColumns();
  int widest = 0;
  for (int i = 0; i < tlbResults->Count(); ++i) widest = std::max(widest, tlbResults->TextWidth(tlbResults->Line(i)));
  tlbResults->SetHorizontalExtent(widest + tlbResults->MarkGutter() + tlbResults->AverageCharWidth());
  tlbResults->SetPreferredRows(std::min(tlbResults->Count(), kMostRowsShown));
  tlbResults->horizontalScrollBar()->setValue(0);
  tlbResults->setUpdatesEnabled(true);

  FillSteps(results);
  lblLegend->setText(QString::fromUtf8(results.legend));
  lblLegend->setVisible(!results.legend.empty());
}

void TfrmResults::FillSteps(const ResultsView& results) {
  while (QLayoutItem* item = FStepLines->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  bool any = false;
  for (const ResultLine& line : results.lines) {
    if (line.kind == ResultLine::Kind::Steps) {
      QLabel* heading = PlainLabel("lblStepsHeading", pnlSteps);
      heading->setText(QString::fromUtf8(line.Text()));
      QFont bold = heading->font();
      bold.setBold(true);
      heading->setFont(bold);
      FStepLines->addWidget(heading);
    } else if (line.kind == ResultLine::Kind::Step) {
      // Wrapped to the window, indented as the list's lines are.
      QLabel* step = PlainLabel("lblStep", pnlSteps);
      step->setText(QString::fromUtf8(line.Text()).trimmed());
      step->setWordWrap(true);
      step->setContentsMargins(tlbResults->MarkGutter(), 0, 0, 0);
      FStepLines->addWidget(step);
      any = true;
    }
  }
  pnlSteps->setVisible(any);
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

void TfrmResults::FitWindow() {
  // As wide as the lines and the buttons need, never narrower than the window's own size
  // and never wider than the screen; as tall as what it holds for that width.
  const QScreen* screen = FOwner ? FOwner->screen() : QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  layout()->activate();
  const int lines = tlbResults->sizeHint().width() + tlbResults->verticalScrollBar()->sizeHint().width();
  const int controls = layout()->itemAt(layout()->count() - 1)->minimumSize().width();
  const int top = layout()->itemAt(0)->widget()->layout()->minimumSize().width() +
                  (lblKeyNote->isVisible() ? 24 * tlbResults->AverageCharWidth() : 0);
  const int width = std::clamp(std::max({lines, controls, top}), kWidth, std::max(kWidth, area.width() * 9 / 10));
  const int height = std::clamp(layout()->totalHeightForWidth(width), kHeight, std::max(kHeight, area.height() * 9 / 10));
  resize(width, height);
  // Centred over the window that ran the test, kept on its screen.
  const QRect over = FOwner && FOwner->isVisible() ? FOwner->frameGeometry() : area;
  QRect placed(QPoint(0, 0), frameGeometry().size().expandedTo(size()));
  placed.moveCenter(over.center());
  placed.moveLeft(std::clamp(placed.left(), area.left(), std::max(area.left(), area.right() - placed.width())));
  placed.moveTop(std::clamp(placed.top(), area.top(), std::max(area.top(), area.bottom() - placed.height())));
  move(placed.topLeft());
}

void TfrmResults::ShowResults(const EndedRun& ended, std::shared_ptr<RunHistory> history) {
  FEnded = ended;
  FHistory = std::move(history);
  btnHistory->setEnabled(FHistory != nullptr);
  lblSaved->hide();
  lblSaved->clear();
  Fill(ended.results);
  FitWindow();
  btnClose->setFocus();
  exec();
}

QString TfrmResults::Text() const {
  QString out = lblShowResult->text() + u'\n';
  for (const ResultLine& line : FEnded.results.lines) out += QString::fromUtf8(line.Text()) + u'\n';
  if (!lblLegend->text().isEmpty()) out += lblLegend->text() + u'\n';
  return out;
}

void TfrmResults::CopySelected() {
  const int index = tlbResults->ItemIndex();
  if (index >= 0) QGuiApplication::clipboard()->setText(tlbResults->Line(index));
}

void TfrmResults::CopyAll() { QGuiApplication::clipboard()->setText(Text()); }

QString TfrmResults::SuggestedReportName() const {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(FEnded.run.start_time.time_since_epoch());
  return "zelvan-probe-report-" + QDateTime::fromMSecsSinceEpoch(ms.count()).toString("yyyy-MM-dd-HHmmss") + ".html";
}

bool TfrmResults::SaveReport(const QString& path) {
  const std::string html = ReportOf(FEnded, FHistory.get());
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  if (file.write(html.data(), static_cast<qint64>(html.size())) != static_cast<qint64>(html.size()) || !file.flush())
    return false;
  lblSaved->setText("Report saved to " + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
  lblSaved->show();
  return true;
}

void TfrmResults::SaveReportAs() {
  const QString path = QFileDialog::getSaveFileName(this, "Save Report", QDir(FReportFolder).filePath(SuggestedReportName()),
                                                    "HTML files (*.html);;All files (*)");
  if (path.isEmpty()) return;
  FReportFolder = QFileInfo(path).absolutePath();
  if (!SaveReport(path)) {
    QMessageBox box(QMessageBox::Warning, "Save Report", "The report could not be written to " + path + ".",
                    QMessageBox::Ok, this);
    box.setObjectName("ReportErrorBox");
    box.setTextFormat(Qt::PlainText);
    box.exec();
  }
}

void TfrmResults::ShowHistory() {
  THistoryForm form(FHistory, FEnded.run.settings, this);
  form.exec();
}

}  // namespace zp
