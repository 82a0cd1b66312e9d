#pragma once
// The exchanges of one worker over a scripted transport, with a host whose clock moves
// only when the exchange waits: every trace line, status text and notification in
// order, deterministic, in microseconds of real time.
#include <gtest/gtest.h>


#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "client/CircuitSteps.h"
#include "client/DnsCache.h"
#include "client/GatewayConnection.h"
#include "client/HostLookup.h"
#include "client/KeySynchronizer.h"
#include "client/RouteDiscovery.h"
#include "client/RouteProfiler.h"
#include "run/RunRecorder.h"
#include "client/scripted/ScriptedTransport.h"
#include "framework/Format.h"
#include "net/ZWinSock.h"
#include "platform/Tick.h"
#include "support/ProcessRunner.h"
#include "support/ScratchFolder.h"

namespace zp::test {

// The error a peer's reset gives a send.
inline constexpr int kReset = WSAECONNRESET;

class ScriptedHost final : public ExchangeHost {
 public:
  // `clock` is the scripted time that the transport's peers also read. The platform's
  // tick follows it, so that the run record measures its waits on the same time.
  ScriptedHost(ScriptedTransport& transport, std::uint32_t& clock)
      : now(clock), FTransport(transport), FStart(clock) {
    ::zp::testing::FreezeAt(clock);
  }
  ~ScriptedHost() override { ::zp::testing::ResetClock(); }
  ScriptedHost(const ScriptedHost&) = delete;
  ScriptedHost& operator=(const ScriptedHost&) = delete;

  std::uint32_t& now;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> ticks;  // the scripted time of each line
  std::vector<std::string> statuses;
  bool stop = false;
  // Asked after every trace line; true requests a stop.
  std::function<bool(const std::string&)> stop_at;
  int closed_notifications = 0;  // times the worker's state was set to "Waiting"
  std::int32_t result_code = 0;
  RunRecorder record;
  // Called whenever the scripted time has moved.
  std::function<void()> on_advance;
  // A test whose exchange never ends is stopped after this much scripted time.
  std::uint32_t limit_ms = 10 * 60 * 1000;

  void Trace(const std::string& text) override {
    lines.push_back(text);
    ticks.push_back(now);
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
  int CountPrefix(const std::string& prefix, int from = 0, int to = -1) const {
    const auto end = to < 0 ? lines.end() : lines.begin() + to;
    return static_cast<int>(std::count_if(lines.begin() + from, end,
                                          [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
  int IndexOfPrefix(const std::string& prefix, int from = 0) const {
    for (std::size_t i = static_cast<std::size_t>(from); i < lines.size(); ++i)
      if (lines[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
  }
  std::string Dump() const {
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    return all;
  }

 private:
  void Advance(std::uint32_t ms) {
    now += ms;
    ::zp::testing::SetTickNow(now);
    if (on_advance) on_advance();
    if (now - FStart > limit_ms) stop = true;
  }
  ScriptedTransport& FTransport;
  const std::uint32_t FStart;
  bool FSignalled = false;
  std::int32_t FClient = 0;
  std::int32_t FCircuit = 701;
};

// `text` with "%E" replaced by the error text of `code`.
inline std::string Expand(std::string text, int code) {
  if (const auto at = text.find("%E"); at != std::string::npos) text.replace(at, 2, SocketErrorText(code));
  return text;
}

// A transport fault: the `nth` packet of `type` fails to send with `code`, once.
inline std::function<void(ScriptedTransport&)> FailSend(char type, int nth, int code) {
  return [=](ScriptedTransport& t) {
    t.send_fault = [=, fired = false](char sent, int n) mutable {
      if (fired || sent != type || n != nth) return 0;
      fired = true;
      return code;
    };
  };
}

// Test names from row names.
template <typename Row>
std::string RowName(const ::testing::TestParamInfo<Row>& param) {
  std::string name = param.param.name;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

// A DNS store file of the test's own, in a folder of its own, removed afterwards; nothing
// is created in the folder until something is written.
struct TempStore {
  ScratchFolder folder{"zp-scripted"};
  std::string path = folder.File("dns.db");
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
  ZKeySynchronizer keys{host, connection, steps};

  // DNS as the test scripts it: a host missing from `dns` fails; every question is kept.
  std::map<std::string, std::vector<std::string>> dns;
  std::vector<std::string> dns_asked;
  HostResolver resolver = [this](const std::string& name, std::vector<std::string>& out) {
    dns_asked.push_back(name);
    const auto it = dns.find(name);
    if (it == dns.end()) return false;
    out = it->second;
    return true;
  };
  TempStore store;
  DnsCache cache{store.path};
  ZHostLookup lookup{host, cache, resolver};
  ZRouteDiscovery discovery{host, connection, settings, lookup};

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
