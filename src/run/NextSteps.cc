#include "run/NextSteps.h"

#include <algorithm>

#include "run/RunConstants.h"
#include "run/RunWords.h"

namespace zp {

namespace {

using K = OutcomeKind;

// A stop says nothing about the network: whatever it cut short is simply unknown.
constexpr const char* kStopped = "The test was stopped before this was known: run the test again for a result.";

// The words an operator reads beside each outcome. Each names what the outcome shows
// first, then where to look, nearest first.
const std::vector<NextStepEntry> kTable = {
    {K::RouteAllArrived, "all_arrived", "all 25 detail records arrived", ""},
    {K::RouteSomeMissing, "records_missing", "some detail records missing",
     "The connection held but some detail records did not arrive: watch this route's score in the History "
     "window, and if records keep going missing, check the line to the gateway for packet loss."},
    {K::RouteAllMissing, "all_missing", "all 25 detail records missing",
     "The connection and the login worked, yet no detail record arrived: check the path to the route's address "
     "for packet loss or a filter, then ask the gateway's operator to look at the route."},
    {K::RouteBrokenAnswer, "broken_answer", "more records reported missing than were sent",
     "The gateway reported more records missing than were sent, a fault at the gateway: send this report to the "
     "gateway's operator."},
    {K::RouteRefused, "refused", "refused the connection",
     "Nothing listens on the route's port at its address, or a firewall rejects the connection: check that the "
     "route's service is up there, and that the firewalls on the way let this site through to that port."},
    {K::RouteConnectUnanswered, "connect_timed_out", "did not answer the connection attempt",
     "The connection attempt went unanswered, so packets are dropped on the way: check the firewalls between "
     "this site and the route's address and port, and the network route to that address."},
    {K::RouteUnreachable, "unreachable", "cannot be reached from this site",
     "This site has no network route to the address: check this machine's connection, its default gateway and "
     "routing, then the routers on the way."},
    {K::RouteNoAddress, "no_address", "the route entry has no address",
     "The route server listed the route without an address: send the route list (in the trace) to the "
     "gateway's operator."},
    {K::RoutePortOutOfRange, "port_out_of_range", "the route entry's port is not 1 to 65535",
     "The route server listed the route with a port outside 1 to 65535, so no connection was tried: send the "
     "route list (in the trace) to the gateway's operator."},
    {K::RouteConnectOther, "connect_failed", "could not connect",
     "The connection failed with the system error shown: check this machine's network settings and the "
     "firewalls on the way to the route's address."},
    {K::RouteLoginRefused, "login_refused", "login refused",
     "The gateway answered and refused this site's login, for the reason shown: check the site's account with "
     "the gateway's operator."},
    {K::RouteNoLoginAnswer, "no_login_answer", "no answer to 3 logins",
     "The route took the connection but never answered the login: ask the gateway's operator whether the "
     "route's service works; a proxy or firewall that accepts connections in its place looks the same."},
    {K::RouteNoHeartbeat, "no_heartbeat", "no heartbeat within 5 s",
     "The route took the login and the detail records but sent no heartbeat: ask the gateway's operator to "
     "check the route's service."},
    {K::RouteConnectionLost, "connection_lost", "connection lost",
     "The connection was closed or reset during the profile: check for a firewall or address translation on "
     "the way that cuts connections, and ask the gateway's operator whether the route restarted then."},
    {K::RouteStopped, "stopped", "not scored \u2014 a stop cut its profile short", kStopped},
    {K::RouteNotTriedStopped, "not_tried_stopped", "not scored \u2014 not tried \u2014 test stopped", kStopped},
    {K::RouteNotTried, "not_tried", "not scored \u2014 not tried",
     "The test ended before profiling reached this route: see the end of the trace for why, then run the test "
     "again."},
    {K::ServerAnswered, "server_answered", "answered with routes", ""},
    {K::ServerListedNone, "server_listed_none", "answered but listed no route",
     "The route server answered but listed no route: check the route code, and ask the gateway's operator "
     "whether routes are set up for this site."},
    {K::ServerNotOk, "server_not_ok", "answered without OK",
     "The route server answered with the text shown instead of a route list: check the route code, and ask the "
     "gateway's operator what the text means."},
    {K::ServerNoAnswer, "server_no_answer", "did not answer within 40 s",
     "The route server took the connection but sent no answer: ask the gateway's operator whether the route "
     "server works; a proxy or firewall that accepts connections in its place looks the same."},
    {K::ServerRefused, "server_refused", "refused the connection",
     "Nothing listens on that port at the route server's address, or a firewall rejects the connection: check "
     "the port typed (in hexadecimal), and that the route server is up."},
    {K::ServerConnectUnanswered, "server_connect_timed_out", "did not answer the connection attempt",
     "The connection attempt went unanswered, so packets are dropped on the way: check the firewalls between "
     "this site and the route server, and the network route to its address."},
    {K::ServerUnreachable, "server_unreachable", "cannot be reached from this site",
     "This site has no network route to the route server's address: check this machine's connection, its "
     "default gateway and routing."},
    {K::ServerConnectOther, "server_connect_failed", "could not connect",
     "The connection failed with the system error shown: check this machine's network settings and the "
     "firewalls on the way to the route server."},
    {K::ServerSendFailed, "server_send_failed", "the request could not be sent",
     "The connection opened but the request could not be sent: check for a firewall or proxy that closes "
     "connections to the route server, and whether the route server stays up."},
    {K::ServerLookupFailed, "server_lookup_failed", "no address for the name, from DNS or from the cache",
     "Neither DNS nor the probe's DNS cache has an address for the name: check its spelling, and that this "
     "site's DNS servers resolve it."},
    {K::ServerStopped, "server_stopped", "no answer \u2014 test stopped", kStopped},
    {K::NoRouteServerAnswered, "no_route_server_answered", "no route server gave a route list",
     "No route server gave a route list: check that each name resolves in DNS to the route server's address "
     "(the address asked is shown beside the name; when DNS failed it came from the probe's DNS cache and may "
     "be old), and that the route server is up."},
    {K::NoRouteServerAnsweredByAddress, "no_route_server_answered_by_address", "no route server gave a route list",
     "No route server gave a route list: check that the addresses and the port typed are the route servers', "
     "and that the route servers are up."},
    {K::NoRouteServerAsked, "no_route_server_asked", "no route server was asked",
     "The test ended before it asked a route server: see the end of the trace for why, then run the test again."},
    {K::KeyReceived, "received", "public key received", ""},
    {K::KeyNotReceived, "not_received", "public key not received",
     "The gateway did not hand over its public key, for the reason shown: when the routes failed too, mend them "
     "first; otherwise give the gateway's operator the reason and the time of this test."},
    {K::KeyNotReachedStopped, "not_reached_stopped", "public key not reached \u2014 test stopped", kStopped},
    {K::KeyNotReached, "not_reached", "public key not reached",
     "The test ended before it asked for the public key: see the end of the trace for why, then run the test "
     "again."},
    {K::RunSuccess, "success", "SUCCESS", ""},
    {K::RunSomeRoutesFailed, "some_routes_failed", "some routes failed",
     "Some routes failed while others passed: see each failed route's outcome and what to check next for it."},
    {K::RunEveryRouteFailed, "every_route_failed", kEveryRouteFailedNote,
     "No route passed its profile, though the gateway handed over its public key: mend the routes first, each "
     "by what to check next for its outcome."},
    {K::RunKeyNotReceived, "key_not_received", "the public key did not arrive",
     "The test ended in FAILURE because the gateway's public key did not arrive: see the key's outcome and what "
     "to check next for it, and the failed routes' if there are any."},
    {K::RunNoRouteList, "no_route_list", "no route list",
     "No route server gave a route list: see what each route server did; check that the names resolve in DNS, "
     "that the addresses and the port are the route servers', and that the route servers are up."},
    {K::RunStopped, "run_stopped", "stopped before it ended", kStopped},
};

OutcomeKind ConnectOutcome(const int error, const std::string& detail, bool route) {
  switch (ConnectFailureOf(error, detail)) {
    case ConnectFailure::Refused: return route ? K::RouteRefused : K::ServerRefused;
    case ConnectFailure::Unanswered: return route ? K::RouteConnectUnanswered : K::ServerConnectUnanswered;
    case ConnectFailure::Unreachable: return route ? K::RouteUnreachable : K::ServerUnreachable;
    case ConnectFailure::NoAddress: return route ? K::RouteNoAddress : K::ServerConnectOther;
    case ConnectFailure::PortOutOfRange: return route ? K::RoutePortOutOfRange : K::ServerConnectOther;
    case ConnectFailure::Other: break;
  }
  return route ? K::RouteConnectOther : K::ServerConnectOther;
}

void Add(std::vector<NextStepLine>& lines, NextStepLine::Subject subject, const char* step) {
  if (*step == '\0') return;
  const auto same = std::find_if(lines.begin(), lines.end(), [&](const NextStepLine& l) { return l.step == step; });
  if (same == lines.end()) return lines.push_back({{std::move(subject)}, step});
  // A route server asked again in the second round is named once; two routes are two
  // routes, even under one name.
  if (subject.about == NextStepLine::About::Server)
    for (const NextStepLine::Subject& s : same->subjects)
      if (s.about == subject.about && s.name == subject.name) return;
  same->subjects.push_back(std::move(subject));
}

}  // namespace

const std::vector<NextStepEntry>& NextStepTable() { return kTable; }

const NextStepEntry* EntryOf(OutcomeKind outcome) {
  const auto at = static_cast<std::size_t>(outcome);
  return at < kTable.size() ? &kTable[at] : nullptr;
}

const char* NextStepOf(OutcomeKind outcome) {
  const NextStepEntry* entry = EntryOf(outcome);
  return entry != nullptr ? entry->step : "";
}

OutcomeKind OutcomeOf(const RouteResult& route, bool run_stopped) {
  const int sent = ExchangeSettings{}.FDetailRecords;
  switch (route.outcome) {
    case RouteOutcome::Scored:
      if (route.score == 0) return K::RouteAllArrived;
      if (route.score < sent) return K::RouteSomeMissing;
      return route.score == sent ? K::RouteAllMissing : K::RouteBrokenAnswer;
    case RouteOutcome::ConnectFailed: return ConnectOutcome(route.error, route.detail, true);
    case RouteOutcome::LoginRefused: return K::RouteLoginRefused;
    case RouteOutcome::NoLoginAnswer: return K::RouteNoLoginAnswer;
    case RouteOutcome::NoHeartbeat: return K::RouteNoHeartbeat;
    case RouteOutcome::ConnectionLost: return K::RouteConnectionLost;
    case RouteOutcome::Stopped: return K::RouteStopped;
    case RouteOutcome::NotTried: break;
  }
  return run_stopped ? K::RouteNotTriedStopped : K::RouteNotTried;
}

OutcomeKind OutcomeOf(const ServerResult& server) {
  switch (server.outcome) {
    case ServerOutcome::Answered: return server.routes > 0 ? K::ServerAnswered : K::ServerListedNone;
    case ServerOutcome::NotOk: return K::ServerNotOk;
    case ServerOutcome::NoAnswer: return K::ServerNoAnswer;
    case ServerOutcome::ConnectFailed: return ConnectOutcome(server.error, server.detail, false);
    case ServerOutcome::SendFailed: return K::ServerSendFailed;
    case ServerOutcome::LookupFailed: return K::ServerLookupFailed;
    case ServerOutcome::Stopped: break;
  }
  return K::ServerStopped;
}

OutcomeKind OutcomeOf(const KeyResult& key, bool run_stopped) {
  switch (key.outcome) {
    case KeyOutcome::Received: return K::KeyReceived;
    case KeyOutcome::Failed: return K::KeyNotReceived;
    case KeyOutcome::NotReached: break;
  }
  return run_stopped ? K::KeyNotReachedStopped : K::KeyNotReached;
}

OutcomeKind RouteListOutcomeOf(const RunSnapshot& run) {
  if (run.servers.empty()) return K::NoRouteServerAsked;
  // A server given by name was looked up: DNS and its cache are then worth a look.
  const bool named = std::any_of(run.servers.begin(), run.servers.end(),
                                 [](const ServerResult& s) { return s.address != s.server; });
  return named ? K::NoRouteServerAnswered : K::NoRouteServerAnsweredByAddress;
}

const char* RouteListNextStep(const RunSnapshot& run) {
  if (!run.routes.empty()) return "";
  return run.stopped ? kStopped : NextStepOf(RouteListOutcomeOf(run));
}

const char* KeyNextStep(const RunSnapshot& run) {
  return run.routes.empty() ? "" : NextStepOf(OutcomeOf(run.key, run.stopped));
}

OutcomeKind RunOutcomeOf(const RunSnapshot& run) {
  if (run.stopped) return K::RunStopped;
  if (run.routes.empty()) return K::RunNoRouteList;
  switch (run.result_code) {
    case kResultSuccess: return run.EveryRouteFailed() ? K::RunEveryRouteFailed : K::RunSuccess;
    case kResultSomeRoutesFailed: return K::RunSomeRoutesFailed;
    default: break;
  }
  // With routes, only a key that did not come ends in FAILURE.
  return K::RunKeyNotReceived;
}

std::vector<NextStepLine> NextStepsOf(const RunSnapshot& run) {
  using About = NextStepLine::About;
  std::vector<NextStepLine> lines;
  Add(lines, {About::RouteList, "Route list"}, RouteListNextStep(run));
  for (std::size_t i = 0; i < run.routes.size(); ++i) {
    const RouteResult& route = run.routes[i];
    Add(lines, {About::Route, route.name.empty() ? route.entry : route.name, i},
        NextStepOf(OutcomeOf(route, run.stopped)));
  }
  // The route servers are the story only when no route came.
  if (run.routes.empty())
    for (std::size_t i = 0; i < run.servers.size(); ++i)
      Add(lines, {About::Server, run.servers[i].server, i}, NextStepOf(OutcomeOf(run.servers[i])));
  Add(lines, {About::Key, "Public key"}, KeyNextStep(run));
  return lines;
}

}  // namespace zp
