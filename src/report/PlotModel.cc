#include "report/PlotModel.h"

#include <algorithm>
#include <cmath>

#include "framework/Format.h"
#include "run/RunConstants.h"

namespace zp {

namespace {

// The colours of the Okabe–Ito palette, darkest first, black last: told apart with any
// common colour blindness, and on white.
constexpr std::uint32_t kPalette[] = {0x0072B2, 0xD55E00, 0x009E73, 0xCC79A7, 0xE69F00, 0x56B4E9, 0x000000};

const char* const kSuccess = "SUCCESS";
const char* const kSomeFailed = "SOME ROUTES FAILED";
const char* const kFailure = "FAILURE";
const char* const kStopped = "STOPPED";

std::string RouteName(const HistoryRoute& route) { return route.name.empty() ? route.entry : route.name; }

// Decimals enough to tell the ticks `step` apart.
int Decimals(double step) { return step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9)); }

std::string TipOf(const HistoryRun& run, const HistoryRoute& route, bool score) {
  const std::string value = score ? Format("score %d", route.score.value_or(0)) : Format("%.3f s", route.profile_seconds);
  return UtcTimeText(run.start_utc_ms) + " " + RouteName(route) + ": " + value + ", " + route.reason + " (" +
         (run.banner.empty() ? std::string("not ended") : run.banner) + ")";
}

}  // namespace

const std::vector<PlotMarker>& PlotMarkers() {
  static const std::vector<PlotMarker> markers = {{MarkerShape::Circle, kSuccess},
                                                  {MarkerShape::Triangle, kSomeFailed},
                                                  {MarkerShape::Cross, kFailure},
                                                  {MarkerShape::Square, kStopped}};
  return markers;
}

MarkerShape MarkerFor(const std::string& banner) {
  for (const PlotMarker& m : PlotMarkers())
    if (banner == m.result) return m.shape;
  return MarkerShape::Square;
}

std::uint32_t SeriesColourOf(std::size_t n) { return kPalette[n % std::size(kPalette)]; }

std::uint32_t ResultColourOf(const std::string& banner) {
  if (banner == kSuccess) return 0x2E7D32;
  if (banner == kSomeFailed) return 0xEF6C00;
  if (banner == kFailure) return 0xC62828;
  return 0x757575;
}

std::string ColourText(std::uint32_t rgb) { return Format("#%06X", static_cast<unsigned>(rgb & 0xFFFFFF)); }

std::vector<double> RoundTicks(double top, int wanted) {
  top = std::max(top, 1e-9);
  const double raw = top / std::max(wanted, 1);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  double step = 10 * magnitude;
  for (const double m : {1.0, 2.0, 5.0})
    if (m * magnitude >= raw - 1e-12) {
      step = m * magnitude;
      break;
    }
  const int count = static_cast<int>(std::ceil(top / step - 1e-9));
  std::vector<double> ticks;
  for (int i = 0; i <= std::max(count, 1); ++i) ticks.push_back(step * i);
  return ticks;
}

PlotModel MakePlot(std::vector<HistoryRun> runs, PlotModel::Measure measure) {
  const bool score = measure == PlotModel::Measure::Score;
  PlotModel plot;
  plot.runs = std::move(runs);
  plot.title = score ? "Score (detail records missing; 0 is best)" : "Profiling time (seconds)";

  double top = 0;
  for (std::size_t i = 0; i < plot.runs.size(); ++i) {
    const HistoryRun& run = plot.runs[i];
    for (const HistoryRoute& route : run.routes) {
      if (!route.HasScore()) continue;
      const std::string name = RouteName(route);
      auto series = std::find_if(plot.series.begin(), plot.series.end(),
                                 [&](const PlotSeries& s) { return s.name == name; });
      if (series == plot.series.end()) {
        plot.series.push_back({name, SeriesColourOf(plot.series.size()), {}});
        series = plot.series.end() - 1;
      }
      const double value = score ? *route.score : route.profile_seconds;
      top = std::max(top, value);
      series->points.push_back({static_cast<double>(i + 1), value, i, MarkerFor(run.banner), TipOf(run, route, score)});
    }
  }

  // Scores are whole numbers with room above the failure mark, so that a failed route's
  // point is never cut at the edge; times as fine as their span needs.
  const int failed = ExchangeSettings{}.FDetailRecords;
  const std::vector<double> y = score ? RoundTicks(std::max<double>(top, failed) + 1, 6) : RoundTicks(top * 1.05, 5);
  const int decimals = score ? 0 : Decimals(y.size() > 1 ? y[1] - y[0] : 1);
  plot.y.title = score ? "Score" : "Seconds";
  plot.y.min = 0;
  plot.y.max = y.back();
  for (const double v : y) plot.y.ticks.push_back({v, Format("%.*f", decimals, v)});

  const auto n = static_cast<double>(plot.runs.size());
  plot.x.title = "Run";
  plot.x.min = 0.5;
  plot.x.max = std::max(n, 1.0) + 0.5;
  const std::vector<double> x = RoundTicks(std::max(n, 1.0), 6);
  const double step = x.size() > 1 ? std::max(x[1], 1.0) : 1;
  plot.x.ticks.push_back({1, "1"});
  for (double v = step; v <= n; v += step)
    if (v > 1) plot.x.ticks.push_back({v, Format("%.0f", v)});
  if (!plot.runs.empty())
    plot.span = UtcTimeText(plot.runs.front().start_utc_ms) + " to " + UtcTimeText(plot.runs.back().start_utc_ms);
  return plot;
}

}  // namespace zp
