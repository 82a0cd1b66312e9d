#include "cli/ConsoleRunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "run/ConnectionChoice.h"
#include "run/RunConstants.h"
#include "history/RunHistory.h"
#include "session/ProbeSession.h"
#include "session/RunReport.h"
#include "run/RunWords.h"
#include "platform/LocalTime.h"
#include "platform/QueueInvoker.h"

namespace zp {

namespace {

constexpr long kServeSliceMs = 100;
constexpr auto kStopGrace = std::chrono::seconds(5);

}  // namespace

TestRequest RequestFor(const ConsoleOptions& options) {
  const ConnectionDefaults defaults = DefaultsFor(options.selection);
  TestRequest request;
  request.selection = options.selection;
  request.server = options.server_given ? options.server : defaults.server;
  request.port_text = options.port_text;
  request.route_code = options.route_code_given ? options.route_code : defaults.route_code;
  return request;
}

namespace {

std::string HistoryPath(const ConsoleOptions& options) {
  return options.history_db.empty() ? RunHistory::DefaultPath() : options.history_db;
}

std::shared_ptr<RunHistory> HistoryFor(const ConsoleOptions& options) {
  if (options.no_history || !RunHistory::Available()) return nullptr;
  return std::make_shared<RunHistory>(HistoryPath(options), options.history_limit);
}

}  // namespace

ConsoleOutcome RunConsoleTest(const ConsoleOptions& options, std::FILE* trace_out) {
  const auto t0 = std::chrono::steady_clock::now();
  // Every line reaches this thread through the invoker, in order, while the waits below
  // serve it.
  auto invoker = std::make_shared<QueueInvoker>();
  SessionOptions session_options;
  session_options.dns_store_path = options.dns_store;
  session_options.history = HistoryFor(options);
  session_options.on_line = [trace_out](const TraceLine& line) {
    if (trace_out == nullptr) return;
    std::fprintf(trace_out, "%s\n", FormatTraceLine(line).c_str());
    std::fflush(trace_out);
  };
  ProbeSession session(invoker, std::move(session_options));

  ConsoleOutcome out;
  const ProbeSession::StartAnswer answer = session.StartTest(RequestFor(options));
  if (answer.refusal != TestRefusal::None) {
    out.refusal = answer.message;
    return out;
  }
  const bool limited = options.timeout_seconds > 0;
  const auto deadline = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.timeout_seconds));
  Event never(Event::Reset::Manual);
  std::string stopped_in;
  std::optional<std::chrono::steady_clock::time_point> grace_end;
  // The deadline is checked however busy the trace is: each wait serves hand-overs for
  // at most one slice, never "until the lines stop".
  while (true) {
    SessionView view = session.Poll();
    if (view.ended) {
      out.ended = std::move(view.ended);
      break;
    }
    const auto now = std::chrono::steady_clock::now();
    long slice = kServeSliceMs;
    if (grace_end) {
      // A stopped worker ends within a second; one that does not is left behind rather
      // than holding the program past its time-out.
      if (now >= *grace_end) break;
    } else if (limited) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      if (left.count() <= 0) {
        const RunSnapshot at_stop = session.CurrentRun()->Snapshot();
        stopped_in = at_stop.state_name;
        out.stopped_phase = at_stop.phase;
        out.stopped_route = at_stop.current_route;
        out.stopped_route_count = at_stop.RouteCount();
        session.StopTest();
        grace_end = now + kStopGrace;
        continue;
      }
      slice = std::min<long>(slice, static_cast<long>(left.count()) + 1);
    }
    invoker->ServeFor(never, slice);
  }
  if (!out.ended) {
    out.ended = session.AbandonRuns();
    out.abandoned = true;
  }
  out.run = out.ended->run;
  // A worker that halted just before the stop keeps its own result and state.
  out.end_state = out.run.stopped ? stopped_in : out.run.state_name;
  if (!options.report_file.empty()) {
    // A run left out of the history still has its earlier runs in the report.
    std::shared_ptr<RunHistory> history = session.History();
    if (!history && RunHistory::Available())
      history = std::make_shared<RunHistory>(HistoryPath(options), options.history_limit);
    out.report_html = ReportOf(*out.ended, history.get());
  }
  if (!out.abandoned) invoker->Close();
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
