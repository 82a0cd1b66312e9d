#include "app/HistoryForm.h"

#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QSplitter>
#include <QTableWidget>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>

#include "report/HistoryPlot.h"
#include "history/RunHistory.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

// Route names and other bytes from the network: one character per byte, escaped.
QString Bytes(const std::string& text) {
  const std::string shown = EscapeControls(text);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

constexpr const char* kResults[] = {"SUCCESS", "SOME ROUTES FAILED", "FAILURE", "STOPPED"};

QChartView* MakeView(const QString& name, QWidget* parent) {
  auto* chart = new QChart();
  chart->setObjectName(name);
  chart->legend()->setAlignment(Qt::AlignBottom);
  auto* view = new QChartView(chart, parent);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(480, 220);
  return view;
}

// One line per route, and over them one marker series per result, so that every point
// shows its run's result in colour.
void Plot(QChart* chart, const std::vector<HistoryRun>& runs, bool score) {
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  chart->setTitle(score ? "Score (detail records missing; 0 is best)" : "Profiling time (seconds)");
  auto* x = new QDateTimeAxis(chart);
  x->setTitleText("Start");
  x->setTickCount(5);
  auto* y = new QValueAxis(chart);
  y->setLabelFormat(score ? "%d" : "%.2f");
  y->setTickCount(6);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);

  const HistoryPlot names(runs, HistoryPlot::Measure::Score);
  std::map<std::string, QScatterSeries*> by_result;
  for (const char* result : kResults) {
    auto* dots = new QScatterSeries(chart);
    dots->setName(result);
    dots->setColor(QColor(ResultColour(result)));
    dots->setBorderColor(QColor(ResultColour(result)));
    dots->setMarkerSize(8);
    by_result[result] = dots;
  }
  double top = score ? 25 : 0.1;
  qint64 first = 0, last = 0;
  for (std::size_t s = 0; s < names.Routes().size(); ++s) {
    auto* line = new QLineSeries(chart);
    line->setName(Bytes(names.Routes()[s]));
    line->setColor(QColor(SeriesColour(s)));
    for (const HistoryRun& run : runs) {
      for (const HistoryRoute& r : run.routes) {
        if (RouteLabel(r) != names.Routes()[s]) continue;
        const double value = score ? r.score : r.profile_seconds;
        const qint64 t = run.start_utc_ms;
        line->append(static_cast<qreal>(t), value);
        auto found = by_result.find(run.banner);
        (found != by_result.end() ? found->second : by_result["STOPPED"])->append(static_cast<qreal>(t), value);
        top = std::max(top, value);
        first = first == 0 ? t : std::min(first, t);
        last = std::max(last, t);
      }
    }
    chart->addSeries(line);
    line->attachAxis(x);
    line->attachAxis(y);
  }
  for (const char* result : kResults) {
    chart->addSeries(by_result[result]);
    by_result[result]->attachAxis(x);
    by_result[result]->attachAxis(y);
  }
  // A little room at both ends, so that the first and last points are not cut in half;
  // a single run still gets a readable span around it. Labels as fine as the span needs.
  const qint64 margin = std::max<qint64>((last - first) / 20, 1'000);
  first -= margin;
  last += margin;
  x->setFormat(last - first < 86'400'000 ? "hh:mm:ss" : "MM-dd hh:mm");
  x->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
  // Scores in steps of five from 0 to at least the failure mark.
  y->setRange(0, score ? std::ceil(top / 5) * 5 : top * 1.1);
}

}  // namespace

THistoryForm::THistoryForm(std::shared_ptr<RunHistory> history, QWidget* parent)
    : QDialog(parent), FHistory(std::move(history)) {
  setObjectName("frmHistory");
  setWindowTitle("History");

  chvScore = MakeView("chtScore", this);
  chvScore->setObjectName("chvScore");
  chvTime = MakeView("chtTime", this);
  chvTime->setObjectName("chvTime");

  tblRuns = new QTableWidget(0, 4, this);
  tblRuns->setObjectName("tblRuns");
  tblRuns->setHorizontalHeaderLabels({"Start (UTC)", "Result", "Failed routes", "Settings"});
  tblRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblRuns->verticalHeader()->hide();
  tblRuns->horizontalHeader()->setStretchLastSection(true);
  tblRuns->setMinimumWidth(360);

  lblNote = new QLabel(this);
  lblNote->setObjectName("lblNote");
  lblNote->setTextFormat(Qt::PlainText);

  auto* close = new QPushButton("&Close", this);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  auto* charts = new QWidget(this);
  auto* chart_layout = new QVBoxLayout(charts);
  chart_layout->setContentsMargins(0, 0, 0, 0);
  chart_layout->addWidget(chvScore);
  chart_layout->addWidget(chvTime);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(charts);
  split->addWidget(tblRuns);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  split->setSizes({600, 400});

  auto* bottom = new QHBoxLayout;
  bottom->addWidget(lblNote, 1);
  bottom->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split, 1);
  layout->addLayout(bottom);
  resize(1000, 640);
  Reload();
}

QChart* THistoryForm::ScoreChart() const { return chvScore->chart(); }
QChart* THistoryForm::TimeChart() const { return chvTime->chart(); }

void THistoryForm::Reload() {
  std::vector<HistoryRun> runs;
  if (!RunHistory::Available()) {
    lblNote->setText(RunHistory::UnavailableText());
  } else if (!FHistory) {
    lblNote->setText("This window keeps no history.");
  } else if (auto recent = FHistory->Recent(kRunsShown)) {
    runs.assign(recent->rbegin(), recent->rend());
    lblNote->setText(QString("%1 runs recorded in %2").arg(runs.size()).arg(QString::fromStdString(FHistory->Path())));
  } else {
    lblNote->setText(QString::fromStdString("The history cannot be read: " + FHistory->LastError()));
  }
  Fill(runs);
}

void THistoryForm::Fill(const std::vector<HistoryRun>& runs) {
  Plot(ScoreChart(), runs, true);
  Plot(TimeChart(), runs, false);
  tblRuns->setRowCount(static_cast<int>(runs.size()));
  int row = 0;
  for (auto it = runs.rbegin(); it != runs.rend(); ++it, ++row) {
    QString failed;
    for (const std::string& name : it->FailedRoutes()) failed += (failed.isEmpty() ? "" : ", ") + Bytes(name);
    auto* result = new QTableWidgetItem(QString::fromStdString(it->banner));
    result->setForeground(QColor(ResultColour(it->banner)));
    tblRuns->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(UtcTimeText(it->start_utc_ms))));
    tblRuns->setItem(row, 1, result);
    tblRuns->setItem(row, 2, new QTableWidgetItem(failed.isEmpty() ? "none" : failed));
    tblRuns->setItem(row, 3, new QTableWidgetItem(Bytes(it->settings.server) + ':' +
                                                  QString::number(it->settings.port, 16).toUpper() + ' ' +
                                                  Bytes(it->settings.route_code)));
  }
  tblRuns->resizeColumnsToContents();
}

}  // namespace zp
