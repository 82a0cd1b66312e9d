#pragma once
#include <string>

#include "report/PlotModel.h"

namespace zp {

// The chart as an SVG image that needs nothing else to be read: no script, no font or
// file from elsewhere. Each route is a line in its colour; each point's shape is its
// run's result, with its tip as the point's title.
std::string PlotSvg(const PlotModel& plot, int width, int height);

// The colour of a result ("#RRGGBB"), by its banner word; grey for STOPPED and anything else.
std::string ResultColour(const std::string& banner);
// A route's name for a person: its name, or the entry when it has none.
std::string RouteLabel(const HistoryRoute& route);

}  // namespace zp
