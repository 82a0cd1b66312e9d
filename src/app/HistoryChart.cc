#include "app/HistoryChart.h"

#include <QChart>
#include <QGraphicsItem>
#include <QHelpEvent>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QScatterSeries>
#include <QToolTip>
#include <QCategoryAxis>
#include <array>
#include <cmath>
#include <vector>

#include "app/QtText.h"

namespace zp {

namespace {

constexpr int kMarkerSize = 10;
constexpr int kRingSize = 18;
constexpr int kShapes = 4;  // MarkerShape's values
constexpr double kReach = kMarkerSize / 2.0 + 3;  // how near the pointer must be for a tip

// The plot model's ticks as they are, labels included: the window draws the same round
// values the report and the native window do.
QCategoryAxis* MakeAxis(QChart* chart, const PlotAxis& from, const std::string& title) {
  auto* axis = new QCategoryAxis(chart);
  axis->setTitleText(QString::fromStdString(title));
  axis->setRange(from.min, from.max);
  axis->setStartValue(from.min);
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  axis->setGridLineColor(PlotColour(kPlotGridColour));
  axis->setLinePenColor(PlotColour(kPlotFrameColour));
  for (const PlotTick& tick : from.ticks) axis->append(QString::fromStdString(tick.label), tick.value);
  return axis;
}

// A series that draws but is never named in the legend.
void Unlisted(QChart* chart, QAbstractSeries* series) {
  for (QLegendMarker* marker : chart->legend()->markers(series)) marker->setVisible(false);
}

}  // namespace

QColor PlotColour(std::uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

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

// Every point's marker, in one item above the chart's series: the positions are worked
// out once per layout of the plot, and a paint draws each marker's image at its place.
class THistoryChart::Marks : public QGraphicsItem {
 public:
  explicit Marks(THistoryChart* view) : QGraphicsItem(view->chart()), FView(view) { setZValue(10); }

  // A new plot: one image per route colour and shape.
  void Reset() {
    FImages.clear();
    for (const PlotSeries& s : FView->FPlot.series) {
      std::array<QImage, kShapes> images;
      for (int shape = 0; shape < kShapes; ++shape)
        images[static_cast<std::size_t>(shape)] = MarkerImage(static_cast<MarkerShape>(shape), PlotColour(s.colour), kMarkerSize);
      FImages.push_back(std::move(images));
    }
    Moved();
  }
  // The plot area moved or changed size: the points with it.
  void Moved() {
    prepareGeometryChange();
    FPositions.clear();
    // While a plot is replaced its series are gone: nothing to place yet.
    if (FView->FMarkLine == nullptr) return update();
    QChart* chart = FView->chart();
    for (const PlotSeries& s : FView->FPlot.series) {
      std::vector<QPointF> at;
      at.reserve(s.points.size());
      for (const PlotPoint& p : s.points) at.push_back(chart->mapToPosition(QPointF(p.x, p.y), FView->FMarkLine));
      FPositions.push_back(std::move(at));
    }
    update();
  }
  // In the chart's coordinates.
  const std::vector<std::vector<QPointF>>& Positions() const { return FPositions; }

  QRectF boundingRect() const override {
    const double m = kMarkerSize;
    return FView->chart()->plotArea().adjusted(-m, -m, m, m);
  }
  void paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) override {
    const PlotModel& plot = FView->FPlot;
    const QPointF half(kMarkerSize / 2.0, kMarkerSize / 2.0);
    for (std::size_t i = 0; i < FPositions.size() && i < plot.series.size(); ++i)
      for (std::size_t k = 0; k < FPositions[i].size(); ++k)
        painter->drawImage(FPositions[i][k] - half, FImages[i][static_cast<std::size_t>(plot.series[i].points[k].marker)]);
  }

 private:
  THistoryChart* FView;
  std::vector<std::array<QImage, kShapes>> FImages;
  std::vector<std::vector<QPointF>> FPositions;
};

THistoryChart::THistoryChart(const QString& name, QWidget* parent) : QChartView(new QChart(), parent) {
  setObjectName("chv" + name);
  chart()->setObjectName("cht" + name);
  chart()->legend()->setAlignment(Qt::AlignBottom);
  setRenderHint(QPainter::Antialiasing);
  setMinimumSize(320, 220);
  viewport()->setMouseTracking(true);
  FMarks = new Marks(this);
  connect(chart(), &QChart::plotAreaChanged, this, [this] { FMarks->Moved(); });
}

void THistoryChart::Draw(PlotModel plot) {
  FPlot = std::move(plot);
  QChart* c = chart();
  FMarkLine = nullptr;
  FMarkRings = nullptr;
  c->removeAllSeries();
  for (QAbstractAxis* axis : c->axes()) {
    c->removeAxis(axis);
    delete axis;
  }
  FMarked = -1;
  c->setTitle(QString::fromStdString(FPlot.title));
  QCategoryAxis* x = MakeAxis(c, FPlot.x, FPlot.x.title + (FPlot.span.empty() ? "" : ", " + FPlot.span));
  QCategoryAxis* y = MakeAxis(c, FPlot.y, FPlot.y.title);
  c->addAxis(x, Qt::AlignBottom);
  c->addAxis(y, Qt::AlignLeft);
  const auto attach = [&](QAbstractSeries* series) {
    c->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
  };
  for (const PlotSeries& s : FPlot.series) {
    auto* line = new QLineSeries(c);
    line->setName(Escaped(s.name));
    line->setColor(PlotColour(s.colour));
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(s.points.size()));
    for (const PlotPoint& p : s.points) points.append(QPointF(p.x, p.y));
    line->replace(points);
    attach(line);
  }
  FMarkLine = new QLineSeries(c);
  FMarkLine->setObjectName("serMarkedRun");
  FMarkLine->setPen(QPen(PlotColour(kPlotMarkColour), 1, Qt::DashLine));
  FMarkRings = new QScatterSeries(c);
  FMarkRings->setObjectName("serMarkedPoints");
  FMarkRings->setMarkerShape(QScatterSeries::MarkerShapeCircle);
  FMarkRings->setMarkerSize(kRingSize);
  FMarkRings->setColor(Qt::transparent);
  FMarkRings->setBorderColor(PlotColour(kPlotMarkColour));
  FMarkRings->setPen(QPen(PlotColour(kPlotMarkColour), 2));
  for (QAbstractSeries* series : {static_cast<QAbstractSeries*>(FMarkLine), static_cast<QAbstractSeries*>(FMarkRings)}) {
    attach(series);
    Unlisted(c, series);
  }
  FMarks->Reset();
}

void THistoryChart::MarkRun(int index) {
  FMarked = index >= 0 && static_cast<std::size_t>(index) < FPlot.runs.size() ? index : -1;
  if (FMarkLine == nullptr) return;
  FMarkLine->clear();
  FMarkRings->clear();
  if (FMarked < 0) return;
  const double x = FMarked + 1;
  FMarkLine->append(x, FPlot.y.min);
  FMarkLine->append(x, FPlot.y.max);
  for (const PlotSeries& s : FPlot.series)
    for (const PlotPoint& p : s.points)
      if (p.run == static_cast<std::size_t>(FMarked)) FMarkRings->append(p.x, p.y);
}

QPoint THistoryChart::PositionOf(int index) const {
  const QPointF at = chart()->mapToPosition(QPointF(index + 1, (FPlot.y.min + FPlot.y.max) / 2), FMarkLine);
  return mapFromScene(chart()->mapToScene(at));
}

QPoint THistoryChart::PointPosition(std::size_t series, std::size_t point) const {
  return mapFromScene(chart()->mapToScene(FMarks->Positions().at(series).at(point)));
}

QString THistoryChart::TipAt(const QPoint& position) const {
  const QPointF at = chart()->mapFromScene(mapToScene(position));
  const PlotPoint* nearest = nullptr;
  double best = kReach * kReach;
  const auto& positions = FMarks->Positions();
  for (std::size_t i = 0; i < positions.size(); ++i)
    for (std::size_t k = 0; k < positions[i].size(); ++k) {
      const QPointF d = positions[i][k] - at;
      const double distance = d.x() * d.x() + d.y() * d.y();
      if (distance <= best) {
        best = distance;
        nearest = &FPlot.series[i].points[k];
      }
    }
  return nearest != nullptr ? Escaped(nearest->tip) : QString();
}

void THistoryChart::mousePressEvent(QMouseEvent* event) {
  const QPointF scene = mapToScene(event->position().toPoint());
  const QPointF at = chart()->mapFromScene(scene);
  if (event->button() == Qt::LeftButton && chart()->plotArea().contains(at) && !FPlot.runs.empty()) {
    const long run = std::lround(chart()->mapToValue(at, FMarkLine).x());
    if (run >= 1 && static_cast<std::size_t>(run) <= FPlot.runs.size()) emit RunClicked(static_cast<int>(run - 1));
  }
  QChartView::mousePressEvent(event);
}

bool THistoryChart::viewportEvent(QEvent* event) {
  // The tip is the view's, not the scene's: the scene would answer the pointer's pause
  // over a point with its items' tips, which are none, and hide the point's.
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString tip = TipAt(help->pos());
    if (tip.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(help->globalPos(), tip, viewport());
    return true;
  }
  return QChartView::viewportEvent(event);
}

}  // namespace zp
