#include "report/PlotSvg.h"

#include <algorithm>

#include "framework/Format.h"
#include "report/HtmlText.h"

namespace zp {

namespace {

constexpr double kMarkerRadius = 4.5;

// A marker of `shape` centred on (x, y).
std::string Marker(MarkerShape shape, double x, double y, const std::string& colour) {
  const double r = kMarkerRadius;
  switch (shape) {
    case MarkerShape::Circle:
      return Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"%.1f\" fill=\"%s\"", x, y, r, colour.c_str());
    case MarkerShape::Triangle:
      return Format("<polygon points=\"%.1f,%.1f %.1f,%.1f %.1f,%.1f\" fill=\"%s\"", x, y - r, x + r, y + r * 0.8,
                    x - r, y + r * 0.8, colour.c_str());
    case MarkerShape::Cross:
      return Format("<path d=\"M%.1f %.1fL%.1f %.1fM%.1f %.1fL%.1f %.1f\" stroke=\"%s\" stroke-width=\"2.5\"", x - r,
                    y - r, x + r, y + r, x - r, y + r, x + r, y - r, colour.c_str());
    case MarkerShape::Square:
      return Format("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"%s\" "
                    "stroke-width=\"2\"",
                    x - r * 0.8, y - r * 0.8, r * 1.6, r * 1.6, colour.c_str());
  }
  return {};
}

}  // namespace

std::string ResultColour(const std::string& banner) { return ColourText(ResultColourOf(banner)); }

std::string RouteLabel(const HistoryRoute& route) { return route.name.empty() ? route.entry : route.name; }

std::string PlotSvg(const PlotModel& plot, int width, int height) {
  const int left = 48, right = 12, top = 26, bottom = 58;
  const double plot_w = std::max(1, width - left - right), plot_h = std::max(1, height - top - bottom);
  auto x = [&](double v) { return left + plot_w * (v - plot.x.min) / (plot.x.max - plot.x.min); };
  auto y = [&](double v) { return top + plot_h - plot_h * std::clamp(v, plot.y.min, plot.y.max) / plot.y.max; };

  std::string svg = Format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
      "font-family=\"sans-serif\" font-size=\"11\" role=\"img\">\n",
      width, height, width, height);
  svg += Format("<title>%s per route over %zu runs</title>\n", HtmlText(plot.title).c_str(), plot.runs.size());
  svg += Format("<text x=\"%d\" y=\"16\" font-weight=\"bold\">%s</text>\n", left, HtmlText(plot.title).c_str());
  for (const PlotTick& t : plot.y.ticks) {
    svg += Format("<line x1=\"%d\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\"/>\n", left, y(t.value),
                  left + plot_w, y(t.value), ColourText(kPlotGridColour).c_str());
    svg += Format("<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%s</text>\n", left - 4, y(t.value) + 4,
                  HtmlText(t.label).c_str());
  }
  for (const PlotTick& t : plot.x.ticks)
    svg += Format("<text x=\"%.1f\" y=\"%.0f\" text-anchor=\"middle\">%s</text>\n", x(t.value), top + plot_h + 14,
                  HtmlText(t.label).c_str());
  svg += Format("<rect x=\"%d\" y=\"%d\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" stroke=\"%s\"/>\n", left,
                top, plot_w, plot_h, ColourText(kPlotFrameColour).c_str());
  svg += Format("<text x=\"%.0f\" y=\"%.0f\" text-anchor=\"middle\" fill=\"%s\">%s %s</text>\n",
                left + plot_w / 2, top + plot_h + 28, ColourText(kPlotNoteColour).c_str(), HtmlText(plot.x.title).c_str(), HtmlText(plot.span).c_str());

  double legend_x = left;
  for (const PlotSeries& s : plot.series) {
    const std::string colour = ColourText(s.colour);
    std::string points;
    for (const PlotPoint& p : s.points) points += Format("%.1f,%.1f ", x(p.x), y(p.y));
    svg += Format("<polyline class=\"series\" fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" points=\"%s\"/>\n",
                  colour.c_str(), points.c_str());
    for (const PlotPoint& p : s.points)
      svg += Marker(p.marker, x(p.x), y(p.y), colour) + "><title>" + HtmlText(p.tip) + "</title></" +
             (p.marker == MarkerShape::Circle     ? "circle"
              : p.marker == MarkerShape::Triangle ? "polygon"
              : p.marker == MarkerShape::Cross    ? "path"
                                                  : "rect") +
             ">\n";
    svg += Format("<text x=\"%.0f\" y=\"%d\" fill=\"%s\">&#9632; %s</text>\n", legend_x, height - 20, colour.c_str(),
                  HtmlText(s.name).c_str());
    legend_x += 110;
  }
  // The shapes' legend: what each marker says of its run.
  double marker_x = left;
  for (const PlotMarker& m : PlotMarkers()) {
    svg += Marker(m.shape, marker_x + 4, height - 8.0, "#555555") + "/>\n";
    svg += Format("<text x=\"%.0f\" y=\"%d\">%s</text>\n", marker_x + 12, height - 4, m.result);
    marker_x += 40 + 7.0 * static_cast<double>(std::char_traits<char>::length(m.result));
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace zp
