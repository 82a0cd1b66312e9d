#include "report/HistoryPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "report/HtmlText.h"
#include "framework/Format.h"

namespace zp {

const char* ResultColour(const std::string& banner) {
  if (banner == "SUCCESS") return "#2E7D32";
  if (banner == "SOME ROUTES FAILED") return "#EF6C00";
  if (banner == "FAILURE") return "#C62828";
  return "#757575";
}

const char* SeriesColour(std::size_t n) {
  static const char* const kColours[] = {"#1565C0", "#6A1B9A", "#00838F", "#AD1457",
                                         "#4E342E", "#558B2F", "#283593", "#F9A825"};
  return kColours[n % (sizeof kColours / sizeof kColours[0])];
}

std::string RouteLabel(const HistoryRoute& route) { return route.name.empty() ? route.entry : route.name; }

HistoryPlot::HistoryPlot(std::vector<HistoryRun> runs, Measure measure) : runs_(std::move(runs)), measure_(measure) {
  for (const HistoryRun& run : runs_)
    for (const HistoryRoute& r : run.routes)
      if (std::find(routes_.begin(), routes_.end(), RouteLabel(r)) == routes_.end()) routes_.push_back(RouteLabel(r));
}

double HistoryPlot::Value(const HistoryRoute& route) const {
  return measure_ == Measure::Score ? route.score : route.profile_seconds;
}

std::string HistoryPlot::Svg(int width, int height) const {
  const bool score = measure_ == Measure::Score;
  const int left = 48, right = 12, top = 26, bottom = 40;
  const double plot_w = std::max(1, width - left - right), plot_h = std::max(1, height - top - bottom);
  // Scores from 0 to at least the failure mark, so that "failed" always sits at the same height.
  double top_value = score ? 25 : 1;
  for (const HistoryRun& run : runs_)
    for (const HistoryRoute& r : run.routes) top_value = std::max(top_value, Value(r));
  // Scores in steps of five, from 0 to at least the failure mark.
  top_value = score ? std::ceil(top_value / 5) * 5 : std::ceil(top_value);
  int steps = score ? static_cast<int>(top_value / 5) : 4;
  if (steps > 10) steps = 5;  // a broken answer reports far more missing than were sent
  const std::size_t n = runs_.size();
  auto x = [&](std::size_t i) { return left + (n <= 1 ? plot_w / 2 : plot_w * static_cast<double>(i) / (n - 1)); };
  auto y = [&](double v) { return top + plot_h - plot_h * std::clamp(v, 0.0, top_value) / top_value; };

  std::string svg = Format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%d\" height=\"%d\" viewBox=\"0 0 %d %d\" "
      "font-family=\"sans-serif\" font-size=\"11\" role=\"img\">\n",
      width, height, width, height);
  svg += Format("<title>%s per route over %zu runs</title>\n", score ? "Score" : "Profiling time", n);
  svg += Format("<text x=\"%d\" y=\"16\" font-weight=\"bold\">%s</text>\n", left,
                score ? "Score (detail records missing; 0 is best)" : "Profiling time (seconds)");
  // Grid lines and their values.
  for (int g = 0; g <= steps; ++g) {
    const double v = top_value * g / steps;
    svg += Format("<line x1=\"%d\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#DDDDDD\"/>\n", left, y(v),
                  left + plot_w, y(v));
    svg += Format("<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%s</text>\n", left - 4, y(v) + 4,
                  score ? Format("%.0f", v).c_str() : Format("%.2g", v).c_str());
  }
  svg += Format("<rect x=\"%d\" y=\"%d\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" stroke=\"#999999\"/>\n", left,
                top, plot_w, plot_h);
  if (n > 0) {
    svg += Format("<text x=\"%d\" y=\"%d\">%s</text>\n", left, height - bottom + 14,
                  UtcTimeText(runs_.front().start_utc_ms).c_str());
    if (n > 1)
      svg += Format("<text x=\"%.0f\" y=\"%d\" text-anchor=\"end\">%s</text>\n", left + plot_w, height - bottom + 14,
                    UtcTimeText(runs_.back().start_utc_ms).c_str());
  }
  for (std::size_t s = 0; s < routes_.size(); ++s) {
    std::string points, dots;
    for (std::size_t i = 0; i < n; ++i) {
      const HistoryRoute* r = nullptr;
      for (const HistoryRoute& c : runs_[i].routes)
        if (RouteLabel(c) == routes_[s]) r = &c;
      if (r == nullptr) continue;
      points += Format("%.1f,%.1f ", x(i), y(Value(*r)));
      dots += Format("<circle cx=\"%.1f\" cy=\"%.1f\" r=\"4\" fill=\"%s\" stroke=\"%s\"><title>%s %s: %s</title></circle>\n",
                     x(i), y(Value(*r)), ResultColour(runs_[i].banner), SeriesColour(s),
                     HtmlText(routes_[s]).c_str(), UtcTimeText(runs_[i].start_utc_ms).c_str(),
                     score ? Format("%d", r->score).c_str() : Format("%.3f s", r->profile_seconds).c_str());
    }
    svg += Format("<polyline class=\"series\" fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\" points=\"%s\"/>\n",
                  SeriesColour(s), points.c_str());
    svg += dots;
    // The legend under the axis, one name per route in its line colour.
    const double lx = left + 110.0 * static_cast<double>(s);
    svg += Format("<text x=\"%.0f\" y=\"%d\" fill=\"%s\">&#9632; %s</text>\n", lx, height - 8, SeriesColour(s),
                  HtmlText(routes_[s]).c_str());
  }
  svg += "</svg>\n";
  return svg;
}

}  // namespace zp
