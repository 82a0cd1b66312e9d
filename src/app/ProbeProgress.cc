#include "app/ProbeProgress.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace zp {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// An answer line as traced: two digits, a blank, then the line in double quotes.
// Gives its index, or -1 when the text is something else.
int AnswerLine(std::string_view text, std::string_view& line) {
  if (text.size() < 5 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
      !std::isdigit(static_cast<unsigned char>(text[1])) || text[2] != ' ' || text[3] != '"' ||
      text.back() != '"')
    return -1;
  line = text.substr(4, text.size() - 5);
  return (text[0] - '0') * 10 + (text[1] - '0');
}

}  // namespace

void ZProbeProgress::Reset() { *this = ZProbeProgress(); }

void ZProbeProgress::OnTrace(std::string_view text) {
  std::string_view line;
  const int index = AnswerLine(text, line);
  if (index == 0) {
    FInAnswer = line.substr(0, 2) == "OK";
    if (FInAnswer) {
      FRoutes.clear();
      FCurrentRoute = 0;
    }
    return;
  }
  if (index > 0 && FInAnswer) {
    // The worker keeps each route once, whatever its letter case.
    if (!line.empty() && std::none_of(FRoutes.begin(), FRoutes.end(), [&](const std::string& r) {
          return SameIgnoringCase(r, line);
        }))
      FRoutes.emplace_back(line);
    return;
  }
  FInAnswer = false;
  if (text.substr(0, 13) == "CurrentRoute ") ++FCurrentRoute;
}

std::string ZProbeProgress::Describe(std::string_view state_name) const {
  if (state_name == "Holding" || state_name == "Startup" || state_name == "Debug")
    return "Starting";
  if (state_name == "UpdateRoutes") {
    if (FCurrentRoute == 0) return "Fetching the route list";
    char text[64];
    if (RouteCount() >= FCurrentRoute)
      std::snprintf(text, sizeof text, "Profiling route %d of %d", FCurrentRoute, RouteCount());
    else
      std::snprintf(text, sizeof text, "Profiling route %d", FCurrentRoute);
    return text;
  }
  if (state_name == "WaitRoutes") return "No routes: asking again soon";
  if (state_name == "SyncKeyPage") return "Fetching the public key";
  if (state_name == "Halted") return "Finished";
  return std::string(state_name);
}

}  // namespace zp
