// zelvan-gateway-sim: the simulated gateway as a program, for people and end-to-end tests.
#include <signal.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "GatewaySimulator.h"
#include "ScenarioParser.h"
#include "UsageText.h"

namespace {

// Waits for SIGINT or SIGTERM, or for `seconds` when above 0. The signals are blocked
// in every thread, so only this wait takes them.
void WaitForEnd(const sigset_t& signals, double seconds) {
  if (seconds <= 0) {
    int sig = 0;
    sigwait(&signals, &sig);
    return;
  }
  timespec left{};
  left.tv_sec = static_cast<time_t>(seconds);
  left.tv_nsec = static_cast<long>((seconds - std::floor(seconds)) * 1e9);
  sigtimedwait(&signals, nullptr, &left);
}

}  // namespace

int main(int argc, char** argv) {
  zp::sim::ScenarioParser parser;
  if (!parser.ParseArguments(std::vector<std::string>(argv + 1, argv + argc))) {
    std::fprintf(stderr, "zelvan-gateway-sim: %s\nTry 'zelvan-gateway-sim --help'.\n", parser.Error().c_str());
    return 2;
  }
  const zp::sim::Scenario scenario = parser.Result();
  if (scenario.help) {
    std::fputs(zp::sim::UsageText(), stdout);
    return 0;
  }

  // Before the simulator's thread exists, so that it inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

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

  WaitForEnd(signals, scenario.duration_seconds);
  sim.Stop();
  return 0;
}
