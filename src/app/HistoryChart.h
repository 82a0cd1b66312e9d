#pragma once
#include <QChartView>
#include <QColor>
#include <QImage>
#include <QString>

#include "report/PlotModel.h"

class QLineSeries;
class QScatterSeries;

namespace zp {

// One chart of the History window, drawn from the shared plot model: a line per route in
// its colour and over it each point in the shape of its run's result. The pointer over a
// point shows the point's tip (run time, route, value, reason); one run can be marked
// across every route (the run chosen in the table), and a click in the plot chooses the
// run under it.
//
// The lines are the chart's series; the points are painted by one item of its scene, as
// a series of markers costs a graphics item's upkeep per point and a full history holds
// thousands of points.
class THistoryChart : public QChartView {
  Q_OBJECT
 public:
  explicit THistoryChart(const QString& name, QWidget* parent = nullptr);

  void Draw(PlotModel plot);
  // Marks the run at `index` of the plot's runs; -1 marks none.
  void MarkRun(int index);
  int MarkedRun() const { return FMarked; }
  // The marking's series: a line across the plot at the run, a ring around each point.
  QLineSeries* MarkLine() const { return FMarkLine; }
  QScatterSeries* MarkRings() const { return FMarkRings; }
  // Where the run at `index` sits in the view's viewport (for a click), and where the
  // point of route series `series` of that run does; the tip of the point nearest to a
  // viewport position (within a marker's reach), empty when none is.
  QPoint PositionOf(int index) const;
  QPoint PointPosition(std::size_t series, std::size_t point) const;
  QString TipAt(const QPoint& position) const;
  const PlotModel& Plot() const { return FPlot; }

 signals:
  // The operator clicked in the plot at the run with this index.
  void RunClicked(int index);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  class Marks;

  PlotModel FPlot;
  Marks* FMarks = nullptr;
  QLineSeries* FMarkLine = nullptr;
  QScatterSeries* FMarkRings = nullptr;
  int FMarked = -1;
};

// The plot model's marker drawn in `colour`, `size` pixels square.
QImage MarkerImage(MarkerShape shape, const QColor& colour, int size);
QColor PlotColour(std::uint32_t rgb);

}  // namespace zp
