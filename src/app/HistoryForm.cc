#include "app/HistoryForm.h"

#include <QChart>
#include <QCheckBox>
#include <QGuiApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>
#include <limits>

#include "app/HistoryChart.h"
#include "history/RunHistory.h"
#include "report/HistoryRows.h"
#include "report/PlotModel.h"
#include "report/PlotSvg.h"
#include "app/PlainLabel.h"
#include "app/QtText.h"

namespace zp {

namespace {

enum Column { kRun, kStart, kResult, kFailed, kSettings, kColumns };

// What each marker shape says of its run, under the plots.
QWidget* MarkerLegend(QWidget* parent) {
  auto* legend = new QWidget(parent);
  legend->setObjectName("pnlMarkers");
  auto* row = new QHBoxLayout(legend);
  row->setContentsMargins(8, 0, 8, 0);
  QLabel* title = PlainLabel("lblMarkers", legend);
  title->setText("Shape of a point: its run's result");
  row->addWidget(title);
  for (const PlotMarker& m : PlotMarkers()) {
    auto* icon = PlainLabel("lblMarkerIcon", legend);
    icon->setPixmap(QPixmap::fromImage(MarkerImage(m.shape, PlotColour(kPlotNoteColour), 12)));
    auto* text = PlainLabel("lblMarkerText", legend);
    text->setText(m.result);
    row->addSpacing(10);
    row->addWidget(icon);
    row->addWidget(text);
  }
  row->addStretch(1);
  return legend;
}

}  // namespace

THistoryForm::THistoryForm(std::shared_ptr<RunHistory> history, std::optional<RunSettings> current, QWidget* parent)
    : QDialog(parent), FHistory(std::move(history)), FCurrent(std::move(current)) {
  setObjectName("frmHistory");
  setWindowTitle("History");

  chkAllSettings = new QCheckBox("Show the runs with &all settings", this);
  chkAllSettings->setObjectName("chkAllSettings");
  chkAllSettings->setChecked(!FCurrent);
  chkAllSettings->setEnabled(FCurrent.has_value());
  connect(chkAllSettings, &QCheckBox::toggled, this, &THistoryForm::Fill);
  lblShowing = PlainLabel("lblShowing", this);

  chvScore = new THistoryChart("Score", this);
  chvTime = new THistoryChart("Time", this);
  for (THistoryChart* view : {chvScore, chvTime}) connect(view, &THistoryChart::RunClicked, this, &THistoryForm::SelectRun);

  tblRuns = new QTableWidget(0, kColumns, this);
  tblRuns->setObjectName("tblRuns");
  tblRuns->setHorizontalHeaderLabels({"Run", "Start (UTC)", "Result", "Failed routes", "Settings"});
  tblRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblRuns->setSelectionMode(QAbstractItemView::SingleSelection);
  tblRuns->setWordWrap(false);
  tblRuns->verticalHeader()->hide();
  connect(tblRuns, &QTableWidget::currentCellChanged, this, [this](int row) {
    if (!FSelecting && row >= 0) SelectRun(static_cast<int>(FShown.size()) - 1 - row);
  });

  lblNote = PlainLabel("lblNote", this);
  auto* close = new QPushButton("&Close", this);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  // The plots side by side above, the table below across the whole window: each plot
  // gets the width a series of hundreds of runs needs, and the table room for every
  // column whole.
  auto* charts = new QWidget(this);
  auto* chart_layout = new QGridLayout(charts);
  chart_layout->setContentsMargins(0, 0, 0, 0);
  chart_layout->addWidget(chvScore, 0, 0);
  chart_layout->addWidget(chvTime, 0, 1);
  chart_layout->addWidget(MarkerLegend(charts), 1, 0, 1, 2);
  chart_layout->setRowStretch(0, 1);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(charts);
  split->addWidget(tblRuns);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  split->setChildrenCollapsible(false);

  auto* filter = new QHBoxLayout;
  filter->addWidget(lblShowing, 1);
  filter->addWidget(chkAllSettings);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lblNote, 1);
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filter);
  layout->addWidget(split, 1);
  layout->addLayout(bottom);
  resize(1000, 700);
  Reload();
}

QChart* THistoryForm::ScoreChart() const { return chvScore->chart(); }
QChart* THistoryForm::TimeChart() const { return chvTime->chart(); }

void THistoryForm::Reload() {
  FRecent.clear();
  if (!RunHistory::Available()) {
    lblNote->setText(RunHistory::UnavailableText());
  } else if (!FHistory) {
    lblNote->setText("This window keeps no history.");
  } else if (ReadRecent()) {
    lblNote->setText(QString("%1 runs read from %2").arg(FRecent.size()).arg(QString::fromStdString(FHistory->Path())));
  } else {
    lblNote->setText(QString::fromStdString("The history cannot be read: " + FHistory->LastError()));
  }
  Fill();
}

bool THistoryForm::ReadRecent() {
  // Only what the plots show: the newest runs with the current settings and the newest of
  // all, each a page the history finds through its index, however long it is.
  auto all = FHistory->Runs({.count = kRunsShown});
  if (!all) return false;
  FRecent = std::move(*all);
  if (!FCurrent) return true;
  auto with = FHistory->Runs({.settings = *FCurrent, .count = kRunsShown});
  if (!with) return false;
  // One list, newest first, that Fill filters: the two pages merged by run number.
  std::vector<HistoryRun> merged;
  merged.reserve(FRecent.size() + with->size());
  std::merge(FRecent.begin(), FRecent.end(), with->begin(), with->end(), std::back_inserter(merged),
             [](const HistoryRun& a, const HistoryRun& b) { return a.id > b.id; });
  merged.erase(std::unique(merged.begin(), merged.end(),
                           [](const HistoryRun& a, const HistoryRun& b) { return a.id == b.id; }),
               merged.end());
  FRecent = std::move(merged);
  return true;
}

void THistoryForm::Fill() {
  const bool all = !FCurrent || chkAllSettings->isChecked();
  FShown.clear();
  for (const HistoryRun& run : FRecent) {
    if (FShown.size() >= static_cast<std::size_t>(kRunsShown)) break;
    if (all || SameSettings(run.settings, *FCurrent)) FShown.push_back(run);
  }
  std::reverse(FShown.begin(), FShown.end());
  const QString newest = FShown.size() >= static_cast<std::size_t>(kRunsShown)
                             ? QString(", the newest %1").arg(kRunsShown)
                             : QString();
  lblShowing->setText(all ? "Runs with every setting" + newest
                          : "Runs with " + Escaped(SettingsText(*FCurrent)) + newest);

  chvScore->Draw(MakePlot(FShown, PlotModel::Measure::Score));
  chvTime->Draw(MakePlot(FShown, PlotModel::Measure::ProfileSeconds));

  FSelecting = true;
  tblRuns->clearContents();
  tblRuns->setRowCount(static_cast<int>(FShown.size()));
  int row = 0;
  for (auto it = FShown.rbegin(); it != FShown.rend(); ++it, ++row) {
    auto* number = new QTableWidgetItem(QString::number(static_cast<int>(FShown.size()) - row));
    number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* result = new QTableWidgetItem(QString::fromStdString(it->banner));
    result->setForeground(PlotColour(ResultColourOf(it->banner)));
    tblRuns->setItem(row, kRun, number);
    tblRuns->setItem(row, kStart, new QTableWidgetItem(QString::fromStdString(UtcTimeText(it->start_utc_ms))));
    tblRuns->setItem(row, kResult, result);
    tblRuns->setItem(row, kFailed, new QTableWidgetItem(Escaped(FailedRoutesText(*it))));
    tblRuns->setItem(row, kSettings, new QTableWidgetItem(Escaped(SettingsText(it->settings))));
  }
  FSelecting = false;
  FitTable();
}

void THistoryForm::FitTable() {
  // Every column as wide as its widest text, and the window as wide as the columns where
  // the screen has the room, so that nothing is cut at the window's first size; the last
  // column takes what is left over.
  tblRuns->horizontalHeader()->setStretchLastSection(false);
  tblRuns->resizeColumnsToContents();
  int columns = 0;
  for (int c = 0; c < kColumns; ++c) columns += tblRuns->horizontalHeader()->sectionSize(c);
  tblRuns->horizontalHeader()->setStretchLastSection(true);
  const int table = columns + 2 * tblRuns->frameWidth() + tblRuns->verticalScrollBar()->sizeHint().width();
  const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  const int room = screen != nullptr ? screen->availableGeometry().width() * 9 / 10 : 1200;
  const QMargins margins = layout()->contentsMargins();
  const int wanted = table + margins.left() + margins.right();
  if (wanted > width()) resize(std::min(room, wanted), height());
}

void THistoryForm::SelectRun(int index) {
  chvScore->MarkRun(index);
  chvTime->MarkRun(index);
  const int row = index < 0 ? -1 : static_cast<int>(FShown.size()) - 1 - index;
  if (row == tblRuns->currentRow()) return;
  FSelecting = true;
  if (row < 0) tblRuns->clearSelection();
  else tblRuns->selectRow(row);
  FSelecting = false;
}

}  // namespace zp
