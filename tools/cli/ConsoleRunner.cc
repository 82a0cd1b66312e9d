#include "cli/ConsoleRunner.h"

#include <chrono>
#include <thread>

#include "client/ConnectionChoice.h"
#include "client/ProbeExpressClientThread.h"
#include "framework/Conversions.h"
#include "platform/LocalTime.h"

namespace zp {

void ResolveSelection(ConsoleOptions& options, std::string& server, std::string& route_letter) {
  const ConnectionDefaults defaults = DefaultsFor(options.selection);
  server = options.server_given ? options.server : defaults.server;
  route_letter = RouteLetterFor(options.selection, options.route_code_given ? options.route_code : defaults.route_code);
}

ConsoleOutcome RunConsoleTest(const ConsoleOptions& in, std::FILE* trace_out) {
  ConsoleOptions options = in;
  ConsoleOutcome out;
  std::string letter;
  ResolveSelection(options, out.server, letter);
  out.route_code = letter;
  out.port = static_cast<std::int32_t>(HexToIntDef(options.port_text));
  out.start_time = FormatNow("mm/dd hh:nn:ss");
  const auto t0 = std::chrono::steady_clock::now();

  auto invoker = std::make_shared<QueueInvoker>();
  const std::thread::id main_thread = std::this_thread::get_id();
  // Packets call the handler directly on the worker thread: hand those lines over to
  // this thread like every other, so the output keeps its order.
  ZTraceEvent handler = [&](const std::string& name, const std::string& text) {
    auto print = [&] {
      std::fprintf(trace_out, "%s\t%s\t%s\n", name.c_str(), FormatNow("ddd mm/dd hh:nn:ss").c_str(),
                   text.c_str());
      std::fflush(trace_out);
    };
    if (std::this_thread::get_id() == main_thread) {
      print();
    } else {
      invoker->RunAndWait(print);
    }
  };

  auto worker = std::make_unique<ZExpressTcpClientThread>("ExpressT", handler, out.server, out.port,
                                                          letter, invoker);
  worker->SetOnErrorBox([](const std::string& text) {
    std::fprintf(stderr, "Error: %s\n", text.c_str());
  });
  if (!options.dns_store.empty()) worker->SetDnsStorePath(options.dns_store);
  worker->Resume();
  out.started = worker->WaitForStartup();

  const bool limited = options.timeout_seconds > 0;
  const auto deadline = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.timeout_seconds));
  Event never(Event::Reset::Manual);
  for (;;) {
    if (worker->GetStateName() == "Halted" || worker->Finished()) break;
    if (limited && std::chrono::steady_clock::now() >= deadline) {
      out.timed_out = true;
      out.end_state = worker->GetStateName();
      worker->Terminate();
      break;
    }
    invoker->WaitServing(never, 100);
  }
  worker->Terminate();
  worker->WaitFinished();
  if (!out.timed_out) out.end_state = worker->GetStateName();
  out.result_code = worker->GetResultCode();
  out.routes = worker->GetResultList();
  out.elapsed_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  worker.reset();
  invoker->Close();
  return out;
}

int ExitStatus(const ConsoleOutcome& outcome) {
  if (outcome.timed_out) return 3;
  switch (outcome.result_code) {
    case kResultSuccess: return 0;
    case kResultSomeRoutesFailed: return 1;
    case kResultFailure: return 2;
    default: return 3;
  }
}

}  // namespace zp
