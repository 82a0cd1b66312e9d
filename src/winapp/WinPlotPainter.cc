#include "winapp/WinPlotPainter.h"

#include <algorithm>
#include <cmath>

#include "winapp/WinDpi.h"
#include "winapp/WinText.h"

namespace zp {

namespace {

constexpr int kMarkerRadius = 4;  // at 96 DPI, as the SVG's

COLORREF Colour(std::uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A series in black vanishes on a dark window face: it takes the window's text colour.
COLORREF SeriesColour(std::uint32_t rgb) { return rgb == 0 ? GetSysColor(COLOR_WINDOWTEXT) : Colour(rgb); }

void Text(HDC dc, int x, int y, const std::wstring& text, UINT align) {
  SetTextAlign(dc, align);
  TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

struct GdiPen {
  GdiPen(HDC dc, COLORREF colour, int width) : dc(dc), pen(CreatePen(PS_SOLID, width, colour)), old(SelectObject(dc, pen)) {}
  ~GdiPen() {
    SelectObject(dc, old);
    DeleteObject(pen);
  }
  GdiPen(const GdiPen&) = delete;
  GdiPen& operator=(const GdiPen&) = delete;
  HDC dc;
  HPEN pen;
  HGDIOBJ old;
};

}  // namespace

WinPlotPainter::WinPlotPainter(const PlotModel& plot, RECT area, UINT dpi) : FModel(plot), FArea(area), FDpi(dpi) {
  const auto s = [dpi](int v) { return Scale(v, dpi); };
  FPlot = {area.left + s(52), area.top + s(26), std::max(area.left + s(53), area.right - s(14)),
           std::max(area.top + s(27), area.bottom - s(62))};
}

POINT WinPlotPainter::At(double x, double y) const {
  const double w = FPlot.right - FPlot.left, h = FPlot.bottom - FPlot.top;
  const double x_span = std::max(FModel.x.max - FModel.x.min, 1e-9), y_span = std::max(FModel.y.max - FModel.y.min, 1e-9);
  const double fx = (x - FModel.x.min) / x_span, fy = (std::clamp(y, FModel.y.min, FModel.y.max) - FModel.y.min) / y_span;
  return {FPlot.left + static_cast<LONG>(std::lround(w * fx)), FPlot.bottom - static_cast<LONG>(std::lround(h * fy))};
}

void WinPlotPainter::Paint(HDC dc, HFONT font) const {
  FillRect(dc, &FArea, GetSysColorBrush(COLOR_WINDOW));
  SetBkMode(dc, TRANSPARENT);
  HGDIOBJ old_font = SelectObject(dc, font);
  PaintAxes(dc, font);
  const int width = std::max(1, Scale(2, FDpi));
  for (const PlotSeries& series : FModel.series) {
    const COLORREF colour = SeriesColour(series.colour);
    std::vector<POINT> line;
    for (const PlotPoint& p : series.points) line.push_back(At(p.x, p.y));
    {
      GdiPen pen(dc, colour, width);
      if (line.size() > 1) Polyline(dc, line.data(), static_cast<int>(line.size()));
    }
    for (std::size_t i = 0; i < line.size(); ++i) PaintMarker(dc, series.points[i].marker, line[i], colour);
  }
  PaintLegends(dc);
  SelectObject(dc, old_font);
}

void WinPlotPainter::PaintAxes(HDC dc, HFONT font) const {
  const auto s = [this](int v) { return Scale(v, FDpi); };
  const COLORREF text = GetSysColor(COLOR_WINDOWTEXT), grid = GetSysColor(COLOR_GRAYTEXT);
  SetTextColor(dc, text);
  LOGFONTW bold{};
  GetObjectW(font, sizeof bold, &bold);
  bold.lfWeight = FW_BOLD;
  HFONT title_font = CreateFontIndirectW(&bold);
  HGDIOBJ old = SelectObject(dc, title_font);
  Text(dc, FPlot.left, FArea.top + s(6), WordsW(FModel.title), TA_LEFT | TA_TOP);
  SelectObject(dc, old);
  DeleteObject(title_font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  {
    GdiPen pen(dc, grid, 1);
    for (const PlotTick& t : FModel.y.ticks) {
      const POINT at = At(FModel.x.min, t.value);
      MoveToEx(dc, FPlot.left, at.y, nullptr);
      LineTo(dc, FPlot.right, at.y);
      Text(dc, FPlot.left - s(4), at.y - metrics.tmHeight / 2, WordsW(t.label), TA_RIGHT | TA_TOP);
    }
    for (const PlotTick& t : FModel.x.ticks)
      Text(dc, At(t.value, FModel.y.min).x, FPlot.bottom + s(3), WordsW(t.label), TA_CENTER | TA_TOP);
    HGDIOBJ old_brush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, FPlot.left, FPlot.top, FPlot.right + 1, FPlot.bottom + 1);
    SelectObject(dc, old_brush);
  }
  Text(dc, (FPlot.left + FPlot.right) / 2, FPlot.bottom + s(3) + metrics.tmHeight,
       WordsW(FModel.x.title + " " + FModel.span), TA_CENTER | TA_TOP);
}

void WinPlotPainter::PaintLegends(HDC dc) const {
  const auto s = [this](int v) { return Scale(v, FDpi); };
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int marker_row = FArea.bottom - s(4) - metrics.tmHeight;
  const int series_row = marker_row - s(2) - metrics.tmHeight;
  // Each route's name after a square in its colour, one after another.
  int x = FPlot.left;
  for (const PlotSeries& series : FModel.series) {
    const COLORREF colour = SeriesColour(series.colour);
    const RECT swatch{x, series_row + metrics.tmHeight / 2 - s(4), x + s(8), series_row + metrics.tmHeight / 2 + s(4)};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &swatch, brush);
    DeleteObject(brush);
    const std::wstring name = BytesW(series.name);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    Text(dc, x + s(12), series_row, name, TA_LEFT | TA_TOP);
    SIZE size{};
    GetTextExtentPoint32W(dc, name.c_str(), static_cast<int>(name.size()), &size);
    x += s(12) + size.cx + s(16);
  }
  // What each marker says of its run.
  x = FPlot.left;
  for (const PlotMarker& m : PlotMarkers()) {
    PaintMarker(dc, m.shape, {x + s(4), marker_row + metrics.tmHeight / 2}, GetSysColor(COLOR_GRAYTEXT));
    const std::wstring word = WordsW(m.result);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    Text(dc, x + s(12), marker_row, word, TA_LEFT | TA_TOP);
    SIZE size{};
    GetTextExtentPoint32W(dc, word.c_str(), static_cast<int>(word.size()), &size);
    x += s(12) + size.cx + s(16);
  }
}

void WinPlotPainter::PaintMarker(HDC dc, MarkerShape shape, POINT at, COLORREF colour) const {
  const int r = Scale(kMarkerRadius, FDpi);
  GdiPen pen(dc, colour, std::max(1, Scale(2, FDpi)));
  HBRUSH brush = CreateSolidBrush(colour);
  HGDIOBJ old_brush = SelectObject(dc, shape == MarkerShape::Square ? GetStockObject(NULL_BRUSH) : brush);
  switch (shape) {
    case MarkerShape::Circle: Ellipse(dc, at.x - r, at.y - r, at.x + r + 1, at.y + r + 1); break;
    case MarkerShape::Triangle: {
      const POINT corners[3] = {{at.x, at.y - r}, {at.x + r, at.y + r * 4 / 5}, {at.x - r, at.y + r * 4 / 5}};
      Polygon(dc, corners, 3);
      break;
    }
    case MarkerShape::Cross:
      MoveToEx(dc, at.x - r, at.y - r, nullptr);
      LineTo(dc, at.x + r, at.y + r);
      MoveToEx(dc, at.x - r, at.y + r, nullptr);
      LineTo(dc, at.x + r, at.y - r);
      break;
    case MarkerShape::Square: Rectangle(dc, at.x - r * 4 / 5, at.y - r * 4 / 5, at.x + r * 4 / 5 + 1, at.y + r * 4 / 5 + 1); break;
  }
  SelectObject(dc, old_brush);
  DeleteObject(brush);
}

std::string WinPlotPainter::TipAt(POINT where) const {
  const int reach = Scale(kMarkerRadius + 2, FDpi);
  long best = static_cast<long>(reach) * reach + 1;
  std::string tip;
  for (const PlotSeries& series : FModel.series)
    for (const PlotPoint& p : series.points) {
      const POINT at = At(p.x, p.y);
      const long d = (at.x - where.x) * (at.x - where.x) + (at.y - where.y) * (at.y - where.y);
      if (d < best) {
        best = d;
        tip = p.tip;
      }
    }
  return tip;
}

}  // namespace zp
