#pragma once
// Whole probe tests against simulated gateway routes: the routes a test adds are listed
// by one route server, and the probe asks that server for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "GatewaySimulator.h"
#include "client/ProbeHarness.h"

namespace zp::test {

class ExchangeFixture : public ProbeHarness {
 protected:
  void TearDown() override {
    sim_.Stop();  // before the clock goes back to real time under the simulator
    ProbeHarness::TearDown();
  }

  // Adds a route (named "r<n>" when the test gives no name) and returns its entry text.
  std::string AddRoute(sim::RouteConfig config = {}) {
    if (config.name.empty()) config.name = "r" + std::to_string(++routes_added_);
    return sim_.AddRoute(config);
  }

  // Starts the simulator and runs one probe test against its route server.
  ProbeRun RunProbe(ProbeSettings settings = {}, sim::RouteServerConfig server = {}) {
    server.port = 0;
    settings.server = "127.0.0.1";
    settings.port = sim_.AddRouteServer(server);
    sim_.Start();
    return Run(settings);
  }

  // The text after the "=" of an entry: what the trace shows as the route's address.
  static std::string AfterName(const std::string& entry) { return entry.substr(entry.find('=') + 1); }

  // True when the countdown line of `who` (profiling: "r1 127.0.0.1"; key
  // synchronisation: "r1 0:127.0.0.1") showed `state`, with or without the seconds left.
  static bool ShowedState(const ProbeRun& run, const std::string& who, const std::string& state) {
    return IndexOfState(run, who, state) >= 0;
  }
  static int IndexOfState(const ProbeRun& run, const std::string& who, const std::string& state, int from = 0) {
    const std::regex line(Escaped(who) + "( [0-9]+)? " + Escaped(state));
    for (std::size_t i = static_cast<std::size_t>(from); i < run.lines.size(); ++i)
      if (std::regex_match(run.lines[i], line)) return static_cast<int>(i);
    return -1;
  }

  // Index of the first line at or after `from` that starts with `prefix`, or -1.
  static int IndexOfPrefix(const ProbeRun& run, const std::string& prefix, int from = 0) {
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < run.lines.size(); ++i)
      if (run.lines[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  // How many lines at or after `from` start with `prefix`.
  static int CountPrefix(const ProbeRun& run, const std::string& prefix, int from = 0) {
    int n = 0;
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < run.lines.size(); ++i)
      n += run.lines[i].rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }

  // Scaled milliseconds between the arrival of two lines, by index.
  static std::int64_t MsBetween(const ProbeRun& run, int from, int to) {
    if (from < 0 || to < 0) return -1;
    return static_cast<std::int32_t>(run.ticks[static_cast<std::size_t>(to)] - run.ticks[static_cast<std::size_t>(from)]);
  }
  static bool HadStatus(const ProbeRun& run, const std::string& status) {
    return std::find(run.statuses.begin(), run.statuses.end(), status) != run.statuses.end();
  }

  // The lines "Route %2d %s Score(%d)" that end a key synchronisation, for every route.
  static bool ListedScores(const ProbeRun& run) {
    for (std::size_t i = 0; i < run.routes.size(); ++i) {
      char head[32];
      std::snprintf(head, sizeof head, "Route %2d ", static_cast<int>(i + 1));
      const std::string want = head + run.routes[i].text + " Score(" + std::to_string(run.routes[i].score) + ")";
      if (!run.Has(want)) return false;
    }
    return !run.routes.empty();
  }

  sim::GatewaySimulator sim_;

 private:
  static std::string Escaped(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
  }
  int routes_added_ = 0;
};

}  // namespace zp::test
