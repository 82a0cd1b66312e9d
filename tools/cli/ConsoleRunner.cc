#include "cli/ConsoleRunner.h"

#include <chrono>
#include <ctime>
#include <memory>

#include "client/ConnectionChoice.h"
#include "client/ExchangeHost.h"
#include "client/ProbeRun.h"
#include "framework/Conversions.h"
#include "platform/LocalTime.h"

namespace zp {

namespace {

constexpr long kServeSliceMs = 100;

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
  auto run = std::make_unique<ZProbeRun>(
      std::move(run_options),
      [trace_out](const TraceLine& line) {
        if (trace_out == nullptr) return;
        std::fprintf(trace_out, "%s\n", FormatTraceLine(line).c_str());
        std::fflush(trace_out);
      },
      invoker);

  ConsoleOutcome out;
  run->Start();
  const bool limited = options.timeout_seconds > 0;
  const auto deadline = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.timeout_seconds));
  Event never(Event::Reset::Manual);
  std::string stopped_in;
  while (run->Poll()) {
    if (limited && std::chrono::steady_clock::now() >= deadline) {
      stopped_in = run->Snapshot().state_name;
      run->Stop();
      break;
    }
    invoker->WaitServing(never, kServeSliceMs);
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
  return FormatDateTime("mm/dd hh:nn:ss", std::chrono::system_clock::to_time_t(run.start_time));
}

}  // namespace zp
