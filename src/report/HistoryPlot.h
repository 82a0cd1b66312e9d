#pragma once
#include <string>
#include <vector>

#include "history/HistoryRecord.h"

namespace zp {

// One line per route over recorded runs, as an SVG image that needs nothing else to be
// read: no script, no font or file from elsewhere. Each point is filled in the colour of
// its run's result, so a bad day shows at a glance; each route keeps its own line colour.
class HistoryPlot {
 public:
  enum class Measure { Score, ProfileSeconds };

  // `runs` oldest first.
  HistoryPlot(std::vector<HistoryRun> runs, Measure measure);

  // The names of the routes in the order they first appear, one series each.
  const std::vector<std::string>& Routes() const { return routes_; }
  // The image, `width` by `height` pixels.
  std::string Svg(int width, int height) const;

 private:
  double Value(const HistoryRoute& route) const;

  std::vector<HistoryRun> runs_;
  Measure measure_;
  std::vector<std::string> routes_;
};

// The colour of a result ("#RRGGBB"), by its banner word; grey for STOPPED and anything else.
const char* ResultColour(const std::string& banner);
// The line colour of the n-th route.
const char* SeriesColour(std::size_t n);
// A route's name for a person: its name, or the entry when it has none.
std::string RouteLabel(const HistoryRoute& route);

}  // namespace zp
