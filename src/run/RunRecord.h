#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zp {

// One structured account of a test, filled in by the worker as it goes and read by every
// front end (window, console report, JSON, monitoring). Values, never text to parse: the
// trace stays the operator's detailed log.

enum class RunPhase {
  Starting,           // before the first route request
  DiscoveringRoutes,  // asking the route servers
  WaitingForRoutes,   // no routes: waiting to ask again
  ProfilingRoutes,    // route k of n
  SynchronizingKey,   // fetching the gateway's public key
  Finished,           // the worker has halted or ended
};

enum class RouteOutcome {
  NotTried,        // profiling never reached it (a stop, or an earlier end)
  Stopped,         // a stop cut its profile short; RouteResult::step says where
  Scored,          // a heartbeat reported on the detail records
  ConnectFailed,   // no socket, no connection, or no notifications
  LoginRefused,    // the login reply carried a status; detail holds its text
  NoLoginAnswer,   // no reply to the logins
  NoHeartbeat,     // the heartbeat after the detail records did not come
  ConnectionLost,  // a send failed or the gateway closed the connection
};

// What a route's profile was doing: the last step begun. A route a stop cut short says
// it in these words ("stopped while waiting for the login reply").
enum class RouteStep {
  None,                 // not begun
  Connecting,
  WaitingForLogin,      // a login sent, its reply awaited (re-sends included)
  SendingRecords,       // the detail records
  WaitingForHeartbeat,
  LoggingOut,
};

// What the worker is waiting for at the moment, so that every front end can count the
// wait down. Only waits of a few seconds or more are recorded.
enum class WaitKind {
  None,
  RouteServerAnswer,  // attempt = the discovery round, attempts = the rounds in all
  RouteRetry,         // the pause before asking the route servers again (same numbers)
  Connect,            // a connect under way: the system's own limit, none of ours
  LoginReply,         // attempt = the login sent, attempts = the logins in all
  Heartbeat,          // the heartbeat after the detail records
  PublicKey,          // the public key after its request
};

struct RunWait {
  WaitKind kind = WaitKind::None;
  std::string target;        // what is waited on: a route server or route entry as shown
  std::uint32_t total_ms = 0;  // the wait's length; 0 when it has no limit of ours (Connect)
  std::int64_t left_ms = 0;    // left when the snapshot was taken (0 once due)
  std::int64_t waited_ms = 0;  // since the wait began
  int attempt = 0;           // 1-based; 0 when the wait is not one of several
  int attempts = 0;
};

enum class ServerOutcome {
  Answered,        // "OK" and its route list (possibly empty)
  NotOk,           // an answer whose first line is not "OK"; detail holds that line
  NoAnswer,        // no answer within the time limit
  ConnectFailed,   // no socket, no connection, or no notifications; detail the error text
  SendFailed,      // the request could not be sent; detail the error text
  LookupFailed,    // a host name with no address from DNS nor from the cache
  Stopped,         // the stop came before the answer
};

enum class KeyOutcome {
  NotReached,  // key synchronisation never ran, or was stopped before an answer
  Received,    // a public key arrived; bytes and seconds are set
  Failed,      // the last attempt ended without a key; detail holds the final text
};

struct RunSettings {
  std::string server;      // as typed: one or more route servers separated by ","
  std::int32_t port = 0;   // the route servers' port
  std::string route_code;  // one letter
};

struct RouteResult {
  std::string entry;    // as the route server sent it: name "=" address ":" port
  std::string name;
  std::string address;
  std::int32_t port = 0;
  std::int32_t score = 0;  // meaningful only when HasScore()
  bool failed = false;  // counted as failed by the result code
  double profile_seconds = 0;  // from connect to the heartbeat (or to the failure)
  RouteOutcome outcome = RouteOutcome::NotTried;
  RouteStep step = RouteStep::None;  // the last step its profile began
  std::string detail;   // the failure's own text (an error, a status text), else empty
  int error = 0;        // the socket error code of a connect or send that failed

  // A route is scored when its profile ended by itself, passed or failed (a refused
  // connection scores too). One the test never reached, or one a stop or the time-out cut
  // short, is not scored: every output but the trace shows it without a score.
  bool HasScore() const { return outcome != RouteOutcome::NotTried && outcome != RouteOutcome::Stopped; }
};

struct ServerResult {
  std::string server;   // the item of the server text (host name or address)
  std::string address;  // the address asked; empty when a lookup failed
  std::int32_t port = 0;
  ServerOutcome outcome = ServerOutcome::NoAnswer;
  std::string detail;
  int error = 0;        // the socket error code of a connect or send that failed
  int routes = 0;       // routes listed in an "OK" answer
  int round = 1;        // the discovery round that asked it (a second round asks again)
};

struct KeyResult {
  KeyOutcome outcome = KeyOutcome::NotReached;
  std::string route;    // the route entry of the last attempt
  int bytes = 0;        // the size of the reply's data part
  double seconds = 0;   // from the request to the key
  int attempts = 0;     // connects tried
  std::string detail;
};

// A copy of the record at one moment.
struct RunSnapshot {
  RunSettings settings;
  std::chrono::system_clock::time_point start_time;
  double elapsed_seconds = 0;
  RunPhase phase = RunPhase::Starting;
  int current_route = 0;  // 1-based while profiling; 0 before
  int discovery_rounds = 0;  // route requests made so far (at most two rounds)
  RunWait wait;           // what the worker waits for now, if anything
  std::vector<RouteResult> routes;
  std::vector<ServerResult> servers;
  KeyResult key;
  bool started = false;   // the worker's start-up completed
  bool stopped = false;   // a stop was asked for before the worker halted
  std::string stop_state;  // the worker's state name when the stop was asked for
  bool finished = false;  // the worker has halted or ended
  std::int32_t result_code = 0;
  std::string fatal_error;  // the text of the error box, when one was shown
  std::string worker_name;
  std::string state_name;   // the worker's state name when the snapshot was taken
  std::string status_text;

  int RouteCount() const { return static_cast<int>(routes.size()); }
  int FailedRoutes() const;
  // Routes were listed and every one of them failed its profile.
  bool EveryRouteFailed() const { return !routes.empty() && FailedRoutes() == RouteCount(); }
};

const char* PhaseName(RunPhase phase);
const char* RouteOutcomeName(RouteOutcome outcome);
const char* ServerOutcomeName(ServerOutcome outcome);
const char* KeyOutcomeName(KeyOutcome outcome);

}  // namespace zp
