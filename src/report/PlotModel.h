#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

namespace zp {

// A chart of the recorded runs, worked out once for every drawing of it: the report's SVG,
// the Qt window's charts and the native window's GDI painting only draw what this holds.
// The runs are numbered along the x axis (1 is the oldest shown), so that a quiet week
// and a busy hour take the same room; each point's tip gives its time.

// How a point shows its run's result, beside the colour of its route.
enum class MarkerShape { Circle, Triangle, Cross, Square };

struct PlotTick {
  double value = 0;
  std::string label;
};

struct PlotAxis {
  std::string title;
  double min = 0;
  double max = 1;
  std::vector<PlotTick> ticks;  // from min to max, at round values
};

struct PlotPoint {
  double x = 0;  // the run's number, from 1
  double y = 0;
  std::size_t run = 0;  // the run's index in PlotModel::runs
  MarkerShape marker = MarkerShape::Circle;
  std::string tip;  // "2026-12-08T05:19:09Z r2: score 25, refused the connection (SOME ROUTES FAILED)"
};

// One route's line.
struct PlotSeries {
  std::string name;
  std::uint32_t colour = 0;  // 0xRRGGBB
  std::vector<PlotPoint> points;
};

// One entry of the markers' legend.
struct PlotMarker {
  MarkerShape shape;
  const char* result;  // the banner word it stands for
};

struct PlotModel {
  enum class Measure { Score, ProfileSeconds };

  std::string title;
  PlotAxis x;
  PlotAxis y;
  std::vector<PlotSeries> series;
  std::vector<HistoryRun> runs;  // oldest first
  std::string span;  // the first and last run's time, under the x axis
};

// The chart of `runs` (oldest first) for `measure`. Routes without a score in a run (not
// reached, or cut short by a stop) have no point there.
PlotModel MakePlot(std::vector<HistoryRun> runs, PlotModel::Measure measure);

// The markers' legend, in the order of the results.
const std::vector<PlotMarker>& PlotMarkers();
MarkerShape MarkerFor(const std::string& banner);

// The n-th route's colour: a palette whose colours stay apart for readers who see red and
// green alike, and in grey.
std::uint32_t SeriesColourOf(std::size_t n);
// "#RRGGBB".
std::string ColourText(std::uint32_t rgb);
// A result's colour by its banner word (0xRRGGBB); grey for STOPPED and anything else.
std::uint32_t ResultColourOf(const std::string& banner);

// The colours around the series, for every drawing of a plot (0xRRGGBB): the grid at the
// ticks, the plot's frame, the notes under it (the axis' title and span, the markers'
// legend, whose shapes stand for no route), and the marking of the run chosen in a window.
inline constexpr std::uint32_t kPlotGridColour = 0xDDDDDD;
inline constexpr std::uint32_t kPlotFrameColour = 0x999999;
inline constexpr std::uint32_t kPlotNoteColour = 0x555555;
inline constexpr std::uint32_t kPlotMarkColour = 0x212121;

// Round axis ticks from 0 to at least `top`: steps of 1, 2 or 5 times a power of ten,
// about `wanted` of them. The last tick is the axis' end.
std::vector<double> RoundTicks(double top, int wanted);

}  // namespace zp
