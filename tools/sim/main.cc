// zelvan-gateway-sim: the simulated gateway as a program, for people and end-to-end tests.
#include <algorithm>
#include <signal.h>

#include <cerrno>
#include <chrono>
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
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(left.count() / 1000000000);
    wait.tv_nsec = static_cast<long>(left.count() % 1000000000);
    // Other than time-out, only an interruption (a stop and continue, a debugger) returns
    // without one of the signals: wait on for the time still left.
    if (sigtimedwait(&signals, nullptr, &wait) >= 0 || errno != EINTR) return;
  }
}

}  // namespace

#ifndef ZP_VERSION
#define ZP_VERSION "0"
#endif

int main(int argc, char** argv) {
  // First of all, so that a stop request during start-up waits for the orderly end, and
  // before the simulator's thread exists, so that it inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  const std::vector<std::string> args(argv + 1, argv + argc);
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
    std::fputs(zp::sim::UsageText(), stdout);
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

  WaitForEnd(signals, scenario.duration_seconds);
  sim.Stop();
  return 0;
}
