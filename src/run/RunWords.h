#pragma once
#include <string>

#include "run/RunRecord.h"

namespace zp {

// What each part of a run came to, in the words a person reads: the same in the window,
// the console report, the JSON document and the monitoring lines. The texts are UTF-8;
// a text from the network inside them (a status text, a route server's line) is quoted
// as it came, for the front end to escape.

// The detail, and the reason, of a route whose heartbeat listed a record number that no
// record sent can have: it fails with the score of every record missing.
inline constexpr const char kRecordsNeverSent[] = "the heartbeat listed records that were never sent";

// "all 25 detail records arrived", "refused the connection", "login refused: ACCESS
// DENIED", "no answer to 3 logins", "no heartbeat within 5 s", "connection lost",
// "stopped while waiting for the login reply", "not tried — test stopped", …
std::string RouteReason(const RouteResult& route, bool run_stopped);
// "answered with 3 routes", "refused the connection", "did not answer within 40 s", …
std::string ServerReason(const ServerResult& server);
// Where a score stands, a route without one says so before its reason: "not scored —
// stopped while waiting for the login reply". A scored route's words are its reason.
std::string RouteOutcomeWords(const RouteResult& route, bool run_stopped);
std::string NotScoredWords(const std::string& reason);

// Beside the SUCCESS of a run whose routes all failed their profiles: the key alone made
// it a success, which the banner does not tell.
inline constexpr const char kEveryRouteFailedNote[] = "every route failed its profile; the public key still arrived";
bool SucceededWithEveryRouteFailed(const RunSnapshot& run);

// "received (128 bytes in 0.05 s)", "not received: <text>", "not reached", …
std::string KeyReason(const KeyResult& key, bool run_stopped);

// The banner of a run: the result's, or "S T O P P E D" (and "STOPPED") for a run that a
// stop ended before it halted; empty for a run that has not ended.
const char* RunBanner(const RunSnapshot& run);
const char* RunBannerWord(const RunSnapshot& run);

// How a connect failed, as the words and the next steps (NextSteps.h) tell it apart:
// from the socket error, or the detail "no address" for a route entry without one.
enum class ConnectFailure { Refused, Unanswered, Unreachable, NoAddress, PortOutOfRange, Other };
ConnectFailure ConnectFailureOf(int error, const std::string& detail);

// What the score means, for a legend beside the scores.
std::string ScoreLegend(int detail_records);

}  // namespace zp
