#include "cli/ConsoleRunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "run/ConnectionChoice.h"
#include "run/RunConstants.h"
#include "client/ProbeRun.h"
#include "framework/Conversions.h"
#include "run/RunWords.h"
#include "platform/LocalTime.h"

namespace zp {

namespace {

constexpr long kServeSliceMs = 100;
constexpr auto kStopGrace = std::chrono::seconds(5);

}  // namespace

RunSettings ResolveSelection(const ConsoleOptions& options) {
  const ConnectionDefaults defaults = DefaultsFor(options.selection);
  RunSettings settings;
  settings.server = options.server_given ? options.server : defaults.server;
  settings.route_code =
      RouteLetterFor(options.selection, options.route_code_given ? options.route_code : defaults.route_code);
  settings.port = static_cast<std::int32_t>(HexToIntDef(options.port_text));
  return settings;
}

ConsoleOutcome RunConsoleTest(const ConsoleOptions& options, std::FILE* trace_out) {
  RunOptions run_options;
  run_options.settings = ResolveSelection(options);
  run_options.dns_store_path = options.dns_store;
  const auto t0 = std::chrono::steady_clock::now();

  // Every line reaches this thread through the invoker, in order, while the waits below
  // serve it.
  auto invoker = std::make_shared<QueueInvoker>();
  ConsoleOutcome out;
  const bool keep_trace = !options.report_file.empty();
  auto run = std::make_unique<ZProbeRun>(
      std::move(run_options),
      [trace_out, keep_trace, &out](const TraceLine& line) {
        if (trace_out == nullptr && !keep_trace) return;
        const std::string text = FormatTraceLine(line);
        if (keep_trace) out.trace.push_back(text);
        if (trace_out == nullptr) return;
        std::fprintf(trace_out, "%s\n", text.c_str());
        std::fflush(trace_out);
      },
      invoker);

  run->Start();
  const bool limited = options.timeout_seconds > 0;
  const auto deadline = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.timeout_seconds));
  Event never(Event::Reset::Manual);
  std::string stopped_in;
  // The deadline is checked however busy the trace is: each wait serves hand-overs for
  // at most one slice, never "until the lines stop".
  while (run->Poll()) {
    long slice = kServeSliceMs;
    if (limited) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        const RunSnapshot at_stop = run->Snapshot();
        stopped_in = at_stop.state_name;
        out.stopped_phase = at_stop.phase;
        out.stopped_route = at_stop.current_route;
        out.stopped_route_count = at_stop.RouteCount();
        run->Stop();
        break;
      }
      slice = std::min<long>(slice, static_cast<long>(left.count()) + 1);
    }
    invoker->ServeFor(never, slice);
  }
  // A stopped worker ends within a second; one that does not is left behind rather than
  // holding the program past its time-out.
  const auto grace_end = std::chrono::steady_clock::now() + kStopGrace;
  while (!run->WorkerFinished() && std::chrono::steady_clock::now() < grace_end) invoker->ServeFor(never, 50);
  if (!run->WorkerFinished()) {
    out.run = run->Snapshot();
    out.end_state = stopped_in;
    out.abandoned = true;
    (void)run.release();
    return out;
  }
  run->WaitFinished();
  out.run = run->Snapshot();
  // A worker that halted just before the stop keeps its own result and state.
  out.end_state = out.run.stopped ? stopped_in : out.run.state_name;
  run.reset();
  invoker->Close();
  return out;
}

int ExitStatus(const ConsoleOutcome& outcome) {
  if (outcome.TimedOut()) return 3;
  switch (outcome.run.result_code) {
    case kResultSuccess: return 0;
    case kResultSomeRoutesFailed: return 1;
    case kResultFailure: return 2;
    default: return 3;
  }
}

std::string StartTimeText(const RunSnapshot& run) {
  return FormatIso8601Local(std::chrono::system_clock::to_time_t(run.start_time));
}

std::string StoppedWhere(const ConsoleOutcome& out) {
  switch (out.stopped_phase) {
    case RunPhase::Starting: return "while starting";
    case RunPhase::DiscoveringRoutes: return "while asking the route servers";
    case RunPhase::WaitingForRoutes: return "while waiting to ask the route servers again";
    case RunPhase::ProfilingRoutes:
      return "while profiling route " + std::to_string(out.stopped_route) + " of " +
             std::to_string(out.stopped_route_count);
    case RunPhase::SynchronizingKey: return "while fetching the public key";
    case RunPhase::Finished: return "while finishing";
  }
  return {};
}

std::string ServerName(const ServerResult& server) {
  char port[16];
  std::snprintf(port, sizeof port, ":%04X", static_cast<unsigned>(server.port));
  return (server.address.empty() ? server.server : server.address) + port;
}

std::string ServersSummary(const RunSnapshot& run) {
  std::string text;
  for (const ServerResult& s : run.servers) {
    if (!text.empty()) text += "; ";
    text += ServerName(s) + " " + ServerReason(s);
  }
  return text;
}

bool NoServerAnswered(const RunSnapshot& run) {
  return std::none_of(run.servers.begin(), run.servers.end(),
                      [](const ServerResult& s) { return s.outcome == ServerOutcome::Answered; });
}

}  // namespace zp
