#pragma once
#include <string>
#include <vector>

#include "run/RunRecord.h"

namespace zp {

// What an operator checks next after each outcome, in one table beside the outcome words
// (RunWords.h) and read by every front end: the windows, the console's report, the HTML
// report, the JSON document, the monitoring lines and, through the alert rules generated
// from it, the alerts. Each entry says what the outcome shows and where to look; none
// guesses beyond it. An outcome that needs nothing checked has an empty step.
//
// Each entry also has a code: the outcome as a machine reads it (--json's outcome_code,
// the outcome label of the metrics, the section of the monitoring guide). The codes are
// the table's keys, a closed set, and none is made from anything the network sent.

// Every outcome a step is told for, as finely as the words tell them apart.
enum class OutcomeKind {
  // A route's profile.
  RouteAllArrived,
  RouteSomeMissing,
  RouteAllMissing,
  RouteBrokenAnswer,
  RouteRefused,
  RouteConnectUnanswered,
  RouteUnreachable,
  RouteNoAddress,
  RoutePortOutOfRange,
  RouteConnectOther,
  RouteLoginRefused,
  RouteNoLoginAnswer,
  RouteNoHeartbeat,
  RouteConnectionLost,
  RouteStopped,      // a stop cut its profile short
  RouteNotTriedStopped,
  RouteNotTried,     // the test ended before it without a stop
  // A route server asked for the route list.
  ServerAnswered,
  ServerListedNone,  // "OK" without a route
  ServerNotOk,
  ServerNoAnswer,
  ServerRefused,
  ServerConnectUnanswered,
  ServerUnreachable,
  ServerConnectOther,
  ServerSendFailed,
  ServerLookupFailed,
  ServerStopped,
  // The route list as a whole, when no route came.
  NoRouteServerAnswered,        // some servers were given by name
  NoRouteServerAnsweredByAddress,
  NoRouteServerAsked,
  // The gateway's public key.
  KeyReceived,
  KeyNotReceived,
  KeyNotReachedStopped,
  KeyNotReached,
  // The run as a whole, as the monitoring systems sum it up.
  RunSuccess,
  RunSomeRoutesFailed,
  RunEveryRouteFailed,  // the key alone made it a success
  RunKeyNotReceived,
  RunNoRouteList,
  RunStopped,
};

struct NextStepEntry {
  OutcomeKind outcome;
  const char* code;   // snake_case, unique in the table
  const char* words;  // the outcome in words, with nothing a peer sent ("refused the connection")
  const char* step;   // empty: nothing to check
};

// The table, one entry per OutcomeKind in the enum's order.
const std::vector<NextStepEntry>& NextStepTable();
const char* NextStepOf(OutcomeKind outcome);
// The entry of `outcome`; null for a value outside the table, which has no code and so
// can never be written as one.
const NextStepEntry* EntryOf(OutcomeKind outcome);

OutcomeKind OutcomeOf(const RouteResult& route, bool run_stopped);
OutcomeKind OutcomeOf(const ServerResult& server);
OutcomeKind OutcomeOf(const KeyResult& key, bool run_stopped);
// Why no route list came; only meaningful for a run without routes.
OutcomeKind RouteListOutcomeOf(const RunSnapshot& run);
// The steps for the run's route list as a whole (empty when routes came) and for its key
// (empty without routes: the key was never the question then).
const char* RouteListNextStep(const RunSnapshot& run);
const char* KeyNextStep(const RunSnapshot& run);
// The run as a whole, from its result: stopped, no route list, or what the result and the
// key came to.
OutcomeKind RunOutcomeOf(const RunSnapshot& run);

// One line of "what to check next": the step and what it is about (route names, route
// servers, "Public key", "Route list"), as they came, for the front end to escape.
struct NextStepLine {
  enum class About { RouteList, Route, Server, Key };
  struct Subject {
    About about;
    std::string name;  // the route's name (its entry without one), the server as typed
    std::size_t index = 0;  // into the run's routes or servers
  };
  std::vector<Subject> subjects;
  std::string step;
};

// The steps a run calls for, in the order the results list them (the route list, the
// routes, the route servers, the key); subjects with the same step share one line.
std::vector<NextStepLine> NextStepsOf(const RunSnapshot& run);

}  // namespace zp
