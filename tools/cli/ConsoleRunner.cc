#include "cli/ConsoleRunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "framework/Format.h"
#include "platform/StopRequests.h"
#include "run/ConnectionChoice.h"
#include "run/RunConstants.h"
#include "history/RunHistory.h"
#include "session/ProbeSession.h"
#include "session/RunReport.h"
#include "run/RunWords.h"
#include "platform/LocalTime.h"
#include "platform/PrivateFolder.h"
#include "platform/QueueInvoker.h"
#include "platform/Registry.h"

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

// A history whose waits for another program end at the run's deadline, or at once after a
// stop request (the shortest wait aside), so that a locked file cannot hold the program
// past its time.
std::shared_ptr<RunHistory> HistoryAt(const ConsoleOptions& options, bool limited,
                                      std::chrono::steady_clock::time_point deadline) {
  auto history = std::make_shared<RunHistory>(HistoryPath(options), options.history_limit);
  history->SetMaxAgeDays(options.history_max_age_days);
  history->SetGiveUp(
      [limited, deadline] { return StopRequested() || (limited && std::chrono::steady_clock::now() >= deadline); });
  return history;
}

}  // namespace

ConsoleOutcome RunConsoleTest(const ConsoleOptions& options, ConsoleStream* trace_out) {
  const auto t0 = std::chrono::steady_clock::now();
  const bool limited = options.timeout_seconds > 0;
  const auto deadline = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 std::chrono::duration<double>(options.timeout_seconds));
  // Every line reaches this thread through the invoker, in order, while the waits below
  // serve it.
  auto invoker = std::make_shared<QueueInvoker>();
  SessionOptions session_options;
  session_options.dns_store_path = options.dns_store;
  if (!options.no_history && RunHistory::Available()) session_options.history = HistoryAt(options, limited, deadline);
  session_options.on_line = [trace_out](const TraceLine& line) {
    if (trace_out != nullptr) trace_out->Write(FormatTraceLine(line) + "\n");
  };
  // The box's text follows the trace lines before it, where a console user reads it, in
  // the console's own characters.
  session_options.error_box = [trace_out](const std::string& text) {
    if (trace_out != nullptr) trace_out->Flush();
    ConsoleStream(stderr).Write("Error: " + text + "\n");
  };
  ProbeSession session(invoker, std::move(session_options));

  ConsoleOutcome out;
  const ProbeSession::StartAnswer answer = session.StartTest(RequestFor(options));
  if (answer.refusal != TestRefusal::None) {
    out.refusal = answer.message;
    return out;
  }
  Event never(Event::Reset::Manual);
  std::string stopped_in;
  std::optional<std::chrono::steady_clock::time_point> grace_end;
  // The deadline and stop requests are checked however busy the trace is: each wait
  // serves hand-overs for at most one slice, never "until the lines stop".
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
    } else {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
      const char* request = StopRequestName();
      if (request != nullptr || (limited && left.count() <= 0)) {
        out.stopped_by = request != nullptr ? request : kByTimeOut;
        const RunSnapshot at_stop = session.CurrentRun()->Snapshot();
        stopped_in = at_stop.state_name;
        out.stopped_phase = at_stop.phase;
        out.stopped_route = at_stop.current_route;
        out.stopped_route_count = at_stop.RouteCount();
        session.StopTest();
        grace_end = now + kStopGrace;
        continue;
      }
      if (limited) slice = std::min<long>(slice, static_cast<long>(left.count()) + 1);
    }
    invoker->ServeFor(never, slice);
    // The lines of this slice go out before the next wait: a reader of a pipe sees the
    // trace at most a slice late, and a dump still leaves in blocks.
    if (trace_out != nullptr) trace_out->Flush();
  }
  if (trace_out != nullptr) trace_out->Flush();
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
    if (!history && RunHistory::Available()) history = HistoryAt(options, limited, deadline);
    out.report_html = ReportOf(*out.ended, history.get());
  }
  if (!out.abandoned) invoker->Close();
  return out;
}

int ExitStatus(const ConsoleOutcome& outcome) {
  if (outcome.Stopped()) return 3;
  switch (outcome.run.result_code) {
    case kResultSuccess: return 0;
    case kResultSomeRoutesFailed: return 1;
    case kResultFailure: return 2;
    default: return 3;
  }
}

std::string StoppedLine(const ConsoleOptions& options, const ConsoleOutcome& out) {
  if (out.TimedOut())
    return Format("Timed out after %g s in state %s, %s", options.timeout_seconds, out.end_state.c_str(),
                  StoppedWhere(out).c_str());
  return Format("Stopped by %s after %.2f s in state %s, %s", out.stopped_by.c_str(), out.run.elapsed_seconds,
                out.end_state.c_str(), StoppedWhere(out).c_str());
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

std::string HistoryPath(const ConsoleOptions& options) {
  return options.history_db.empty() ? RunHistory::DefaultPath() : options.history_db;
}

std::string StorePlacesProblem(const ConsoleOptions& options, bool listing) {
  if (RunHistory::Available() && (listing || !options.no_history)) {
    if (std::string problem = StorePlaceProblem(HistoryPath(options)); !problem.empty()) return problem;
  }
  if (listing) return {};
  return Registry::PlaceProblem(options.dns_store.empty() ? Registry::DefaultPath() : options.dns_store);
}

}  // namespace zp
