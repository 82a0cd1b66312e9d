#pragma once
// The exchanges of one worker over a scripted transport, with a host whose clock moves
// only when the exchange waits: every trace line, status text and notification in
// order, deterministic, in microseconds of real time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "client/CircuitSteps.h"
#include "client/DnsCache.h"
#include "client/GatewayConnection.h"
#include "client/KeySynchronizer.h"
#include "client/RouteDiscovery.h"
#include "client/RouteProfiler.h"
#include "client/RunRecorder.h"
#include "client/scripted/ScriptedTransport.h"
#include "framework/Format.h"

namespace zp::test {

class ScriptedHost final : public ExchangeHost {
 public:
  // `clock` is the scripted time that the transport's peers also read.
  ScriptedHost(ScriptedTransport& transport, std::uint32_t& clock)
      : now(clock), FTransport(transport), FStart(clock) {}

  std::uint32_t& now;
  std::vector<std::string> lines;
  std::vector<std::string> statuses;
  bool stop = false;
  // Asked after every trace line; true requests a stop.
  std::function<bool(const std::string&)> stop_at;
  int closed_notifications = 0;  // times the worker's state was set to "Waiting"
  std::int32_t result_code = 0;
  RunRecorder record;
  // A test whose exchange never ends is stopped after this much scripted time.
  std::uint32_t limit_ms = 10 * 60 * 1000;

  void Trace(const std::string& text) override {
    lines.push_back(text);
    if (stop_at && stop_at(text)) stop = true;
  }
  void TraceDump(const std::string& prefix, int length, const void* data) override {
    for (const std::string& line : DumpLines(prefix, length, data)) Trace(line);
  }
  void SetStatusText(const std::string& text) override {
    if (statuses.empty() || statuses.back() != text) statuses.push_back(text);
  }
  void Pause(long ms) override {
    FTransport.Deliver();
    Advance(static_cast<std::uint32_t>(ms));
  }
  WaitResult WaitForEvent(long ms) override {
    const std::uint32_t end = now + static_cast<std::uint32_t>(ms);
    for (;;) {
      FTransport.Deliver();
      if (stop) return WaitTerminate;
      if (FSignalled) {
        FSignalled = false;
        return WaitSignalled;
      }
      const auto due = FTransport.NextDue();
      if (!due || static_cast<std::int32_t>(*due - end) > 0) break;
      Advance(std::max<std::uint32_t>(*due - now, 1));
    }
    Advance(end - now);
    return WaitTimedOut;
  }
  void Signal() override { FSignalled = true; }
  bool StopRequested() const override { return stop; }
  std::uint32_t Now() const override { return now; }
  std::int32_t NextClientSequence() override { return FClient = FClient % 9999 + 1; }
  std::int32_t NextCircuitSequence() override { return FCircuit = FCircuit % 9999 + 1; }
  void ConnectionClosed() override { ++closed_notifications; }
  std::int32_t GetResultCode() const override { return result_code; }
  void SetResultCode(std::int32_t code) override { result_code = code; }
  RunRecorder& Record() override { return record; }

  bool Has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
  int IndexOf(const std::string& line, int from = 0) const {
    for (std::size_t i = static_cast<std::size_t>(from); i < lines.size(); ++i)
      if (lines[i] == line) return static_cast<int>(i);
    return -1;
  }
  int CountPrefix(const std::string& prefix) const {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
  std::string Dump() const {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
  }

 private:
  void Advance(std::uint32_t ms) {
    now += ms;
    if (now - FStart > limit_ms) stop = true;
  }
  ScriptedTransport& FTransport;
  const std::uint32_t FStart;
  bool FSignalled = false;
  std::int32_t FClient = 0;
  std::int32_t FCircuit = 701;
};

// A worker's exchanges wired as the worker wires them, over the scripted transport.
struct ScriptedRig {
  std::uint32_t clock = 1000000;
  ScriptedTransport transport{clock};
  ScriptedHost host{transport, clock};
  ExchangeSettings settings;
  ZGatewayConnection connection{host, transport};
  ZCircuitSteps steps{host, connection, settings};
  ZRouteProfiler profiler{host, connection, steps, settings};
  ZKeySynchronizer keys{host, connection, steps, settings};

  // Routes added in order as r1, r2, … on 127.0.0.1, ports 27001, 27002, …
  std::string AddRoute(sim::RouteConfig config = {}) {
    const int n = static_cast<int>(routes.size()) + 1;
    if (config.name.empty()) config.name = "r" + std::to_string(n);
    routes.push_back({transport.AddRoute(config, "127.0.0.1", 27000 + n), settings.FDetailRecords});
    return routes.back().text;
  }
  RouteList routes;
};

}  // namespace zp::test
