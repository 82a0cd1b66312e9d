#include "app/HistoryForm.h"

#include <QChart>
#include <QChartView>
#include <QImage>
#include <QLegendMarker>
#include <QPainter>
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

#include "report/PlotModel.h"
#include "report/PlotSvg.h"
#include "history/RunHistory.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

// Route names and other bytes from the network: one character per byte, escaped.
QString Bytes(const std::string& text) {
  const std::string shown = EscapeControls(text);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

QChartView* MakeView(const QString& name, QWidget* parent) {
  auto* chart = new QChart();
  chart->setObjectName(name);
  chart->legend()->setAlignment(Qt::AlignBottom);
  auto* view = new QChartView(chart, parent);
  view->setRenderHint(QPainter::Antialiasing);
  view->setMinimumSize(480, 220);
  return view;
}

QColor Colour(std::uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// The plot model's marker, drawn once into an image the series repeats at each point.
QImage MarkerImage(MarkerShape shape, const QColor& colour, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF box(1.5, 1.5, size - 3.0, size - 3.0);
  painter.setPen(QPen(colour, 2));
  painter.setBrush(colour);
  switch (shape) {
    case MarkerShape::Circle: painter.drawEllipse(box); break;
    case MarkerShape::Triangle:
      painter.drawPolygon(QPolygonF({QPointF(box.center().x(), box.top()), box.bottomRight(), box.bottomLeft()}));
      break;
    case MarkerShape::Cross:
      painter.setPen(QPen(colour, 2.5));
      painter.drawLine(box.topLeft(), box.bottomRight());
      painter.drawLine(box.bottomLeft(), box.topRight());
      break;
    case MarkerShape::Square:
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(box.adjusted(1, 1, -1, -1));
      break;
  }
  return image;
}

void SetAxis(QValueAxis* axis, const PlotAxis& from, const char* format) {
  axis->setTitleText(QString::fromStdString(from.title));
  axis->setRange(from.min, from.max);
  axis->setLabelFormat(format);
  if (from.ticks.size() > 1) {
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(from.ticks[0].value);
    axis->setTickInterval(from.ticks[1].value - from.ticks[0].value);
  }
}

// One line per route in its colour, and over it one marker series per result, so that
// every point's shape shows its run's result.
void Plot(QChart* chart, const std::vector<HistoryRun>& runs, bool score) {
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  const PlotModel plot = MakePlot(runs, score ? PlotModel::Measure::Score : PlotModel::Measure::ProfileSeconds);
  chart->setTitle(QString::fromStdString(plot.title));
  auto* x = new QValueAxis(chart);
  SetAxis(x, plot.x, "%d");
  auto* y = new QValueAxis(chart);
  const bool whole = plot.y.ticks.size() < 2 || plot.y.ticks[1].label.find('.') == std::string::npos;
  SetAxis(y, plot.y, whole ? "%d" : "%.2f");
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (const PlotSeries& s : plot.series) {
    auto* line = new QLineSeries(chart);
    line->setName(Bytes(s.name));
    line->setColor(Colour(s.colour));
    std::map<MarkerShape, QScatterSeries*> dots;
    for (const PlotPoint& p : s.points) {
      line->append(p.x, p.y);
      QScatterSeries*& series = dots[p.marker];
      if (series == nullptr) {
        series = new QScatterSeries(chart);
        series->setMarkerSize(10);
        series->setLightMarker(MarkerImage(p.marker, Colour(s.colour), 10));
      }
      series->append(p.x, p.y);
    }
    chart->addSeries(line);
    line->attachAxis(x);
    line->attachAxis(y);
    for (auto& [shape, series] : dots) {
      chart->addSeries(series);
      series->attachAxis(x);
      series->attachAxis(y);
      // The route's line names it in the legend; its markers do not again.
      for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(false);
    }
  }
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
