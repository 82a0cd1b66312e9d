#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace zp {

// What the operator sees of a running test's progress: the phase, from the worker's
// state name, and while routes are profiled "route k of n", read from the trace lines
// (the route server's answer lists the routes; each profile begins "CurrentRoute ").
class ZProbeProgress {
 public:
  void Reset();
  // Every trace text of the test, in order.
  void OnTrace(std::string_view text);
  // The route being profiled (1-based; 0 before the first) and the number of routes in
  // the last accepted answer (0 when unknown).
  int CurrentRoute() const { return FCurrentRoute; }
  int RouteCount() const { return static_cast<int>(FRoutes.size()); }
  std::string Describe(std::string_view state_name) const;

 private:
  bool FInAnswer = false;  // reading the lines of an answer that began with "OK"
  std::vector<std::string> FRoutes;
  int FCurrentRoute = 0;
};

}  // namespace zp
