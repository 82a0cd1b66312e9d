#pragma once
#include <windows.h>

#include <string>

#include "report/PlotModel.h"

namespace zp {

// Draws one chart of the shared plot model with GDI, as the report's SVG and the Qt
// window's charts draw theirs: the axes with the model's ticks, each route's line in its
// colour with its points' markers, the routes' legend and the markers' legend. Nothing is
// worked out here that the model already holds.
//
// The model must outlive the painter.
class WinPlotPainter {
 public:
  // Lays the chart out in `area` (pixels) at `dpi`.
  WinPlotPainter(const PlotModel& plot, RECT area, UINT dpi);

  // Paints into `dc` with `font` for the labels, in the system's window colours.
  void Paint(HDC dc, HFONT font) const;
  // Where a value lands.
  POINT At(double x, double y) const;
  // The frame the lines are drawn in.
  RECT PlotArea() const { return FPlot; }
  // The tip of the point nearest `where` within a marker's reach; empty when none is.
  std::string TipAt(POINT where) const;

 private:
  void PaintAxes(HDC dc, HFONT font) const;
  void PaintLegends(HDC dc) const;
  void PaintMarker(HDC dc, MarkerShape shape, POINT at, COLORREF colour) const;

  const PlotModel& FModel;
  RECT FArea;
  RECT FPlot;
  UINT FDpi;
};

}  // namespace zp
