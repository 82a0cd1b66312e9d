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
    {K::RouteAllArrived, ""},
    {K::RouteSomeMissing,
     "The connection held but some detail records did not arrive: watch this route's score in the History "
     "window, and if records keep going missing, check the line to the gateway for packet loss."},
    {K::RouteAllMissing,
     "The connection and the login worked, yet no detail record arrived: check the path to the route's address "
     "for packet loss or a filter, then ask the gateway's operator to look at the route."},
    {K::RouteBrokenAnswer,
     "The gateway reported more records missing than were sent, a fault at the gateway: send this report to the "
     "gateway's operator."},
    {K::RouteRefused,
     "Nothing listens on the route's port at its address, or a firewall rejects the connection: check that the "
     "route's service is up there, and that the firewalls on the way let this site through to that port."},
    {K::RouteConnectUnanswered,
     "The connection attempt went unanswered, so packets are dropped on the way: check the firewalls between "
     "this site and the route's address and port, and the network route to that address."},
    {K::RouteUnreachable,
     "This site has no network route to the address: check this machine's connection, its default gateway and "
     "routing, then the routers on the way."},
    {K::RouteNoAddress,
     "The route server listed the route without an address: send the route list (in the trace) to the "
     "gateway's operator."},
    {K::RoutePortOutOfRange,
     "The route server listed the route with a port outside 1 to 65535, so no connection was tried: send the "
     "route list (in the trace) to the gateway's operator."},
    {K::RouteConnectOther,
     "The connection failed with the system error shown: check this machine's network settings and the "
     "firewalls on the way to the route's address."},
    {K::RouteLoginRefused,
     "The gateway answered and refused this site's login, for the reason shown: check the site's account with "
     "the gateway's operator."},
    {K::RouteNoLoginAnswer,
     "The route took the connection but never answered the login: ask the gateway's operator whether the "
     "route's service works; a proxy or firewall that accepts connections in its place looks the same."},
    {K::RouteNoHeartbeat,
     "The route took the login and the detail records but sent no heartbeat: ask the gateway's operator to "
     "check the route's service."},
    {K::RouteConnectionLost,
     "The connection was closed or reset during the profile: check for a firewall or address translation on "
     "the way that cuts connections, and ask the gateway's operator whether the route restarted then."},
    {K::RouteStopped, kStopped},
    {K::RouteNotTriedStopped, kStopped},
    {K::RouteNotTried,
     "The test ended before profiling reached this route: see the end of the trace for why, then run the test "
     "again."},
    {K::ServerAnswered, ""},
    {K::ServerListedNone,
     "The route server answered but listed no route: check the route code, and ask the gateway's operator "
     "whether routes are set up for this site."},
    {K::ServerNotOk,
     "The route server answered with the text shown instead of a route list: check the route code, and ask the "
     "gateway's operator what the text means."},
    {K::ServerNoAnswer,
     "The route server took the connection but sent no answer: ask the gateway's operator whether the route "
     "server works; a proxy or firewall that accepts connections in its place looks the same."},
    {K::ServerRefused,
     "Nothing listens on that port at the route server's address, or a firewall rejects the connection: check "
     "the port typed (in hexadecimal), and that the route server is up."},
    {K::ServerConnectUnanswered,
     "The connection attempt went unanswered, so packets are dropped on the way: check the firewalls between "
     "this site and the route server, and the network route to its address."},
    {K::ServerUnreachable,
     "This site has no network route to the route server's address: check this machine's connection, its "
     "default gateway and routing."},
    {K::ServerConnectOther,
     "The connection failed with the system error shown: check this machine's network settings and the "
     "firewalls on the way to the route server."},
    {K::ServerSendFailed,
     "The connection opened but the request could not be sent: check for a firewall or proxy that closes "
     "connections to the route server, and whether the route server stays up."},
    {K::ServerLookupFailed,
     "Neither DNS nor the probe's DNS cache has an address for the name: check its spelling, and that this "
     "site's DNS servers resolve it."},
    {K::ServerStopped, kStopped},
    {K::NoRouteServerAnswered,
     "No route server gave a route list: check that each name resolves in DNS to the route server's address "
     "(the address asked is shown beside the name; when DNS failed it came from the probe's DNS cache and may "
     "be old), and that the route server is up."},
    {K::NoRouteServerAnsweredByAddress,
     "No route server gave a route list: check that the addresses and the port typed are the route servers', "
     "and that the route servers are up."},
    {K::NoRouteServerAsked,
     "The test ended before it asked a route server: see the end of the trace for why, then run the test again."},
    {K::KeyReceived, ""},
    {K::KeyNotReceived,
     "The gateway did not hand over its public key, for the reason shown: when the routes failed too, mend them "
     "first; otherwise give the gateway's operator the reason and the time of this test."},
    {K::KeyNotReachedStopped, kStopped},
    {K::KeyNotReached,
     "The test ended before it asked for the public key: see the end of the trace for why, then run the test "
     "again."},
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

const char* NextStepOf(OutcomeKind outcome) {
  const auto at = static_cast<std::size_t>(outcome);
  return at < kTable.size() ? kTable[at].step : "";
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
