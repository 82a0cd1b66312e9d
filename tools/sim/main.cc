// zelvan-gateway-sim: the simulated gateway as a program, for people and end-to-end tests.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "GatewaySimulator.h"
#include "ScenarioParser.h"
#include "UsageText.h"
#include "platform/ProgramArguments.h"
#include "platform/StopRequests.h"

#ifndef ZP_VERSION
#define ZP_VERSION "0"
#endif

int main(int argc, char** argv) {
  // First of all, so that a stop request during start-up waits for the orderly end, and
  // before the simulator's thread exists.
  zp::CatchStopRequests();

  // In UTF-8 whatever the system's code page, so that a route's name arrives as typed.
  std::vector<std::string> args = zp::ProgramArguments(argc, argv);
  if (!args.empty()) args.erase(args.begin());
  if (std::find(args.begin(), args.end(), "--version") != args.end()) {
    std::printf("zelvan-gateway-sim %s\n", ZP_VERSION);
    return 0;
  }
  zp::sim::ScenarioParser parser;
  if (!parser.ParseArguments(args)) {
    std::fprintf(stderr, "zelvan-gateway-sim: %s\nTry 'zelvan-gateway-sim --help'.\n", parser.Error().c_str());
    return 2;
  }
  const zp::sim::Scenario scenario = parser.Result();
  if (scenario.help) {
    std::fputs(zp::sim::UsageText().c_str(), stdout);
    return 0;
  }

  zp::sim::GatewaySimulator sim;
  try {
    for (const auto& server : scenario.route_servers) sim.AddRouteServer(server);
    for (const auto& route : scenario.routes) sim.AddRoute(route);
    sim.Start();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelvan-gateway-sim: %s\n", e.what());
    return 1;
  }
  std::printf("%s\n", sim.ReadyLine().c_str());
  std::fflush(stdout);

  zp::WaitForStopRequest(scenario.duration_seconds);
  sim.Stop();
  zp::StopRequestDone();
  return 0;
}
