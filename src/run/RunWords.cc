#include "run/RunWords.h"

#include "run/ConnectionChoice.h"
#include "run/RouteEntry.h"
#include "run/RunConstants.h"
#include "framework/Format.h"
#include "net/ZWinSock.h"
#include "platform/Sockets.h"

namespace zp {

namespace {

const ExchangeSettings kSettings;

// What a failed connect says about the other end.
std::string ConnectWords(int error, const std::string& detail) {
  switch (ConnectFailureOf(error, detail)) {
    case ConnectFailure::Refused: return "refused the connection";
    case ConnectFailure::Unanswered: return "did not answer the connection attempt";
    case ConnectFailure::Unreachable: return "cannot be reached from this site";
    case ConnectFailure::NoAddress: return "the route entry has no address";
    case ConnectFailure::PortOutOfRange: return "the route entry's port is not 1 to 65535";
    case ConnectFailure::Other: break;
  }
  return "could not connect: " + (error != 0 ? SocketErrorText(error) : detail);
}

// Where a stop cut a route's profile short.
std::string StoppedWords(RouteStep step) {
  switch (step) {
    case RouteStep::Connecting: return "stopped while connecting";
    case RouteStep::WaitingForLogin: return "stopped while waiting for the login reply";
    case RouteStep::SendingRecords: return "stopped while sending the detail records";
    case RouteStep::WaitingForHeartbeat: return "stopped during the heartbeat wait";
    case RouteStep::LoggingOut: return "stopped while logging out";
    case RouteStep::None: break;
  }
  return "stopped before it began";
}

}  // namespace

ConnectFailure ConnectFailureOf(int error, const std::string& detail) {
  switch (error) {
    case WSAECONNREFUSED: return ConnectFailure::Refused;
    case WSAETIMEDOUT: return ConnectFailure::Unanswered;
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH: return ConnectFailure::Unreachable;
    default: break;
  }
  if (detail == RouteEntryFaultDetail(RouteEntryFault::NoAddress)) return ConnectFailure::NoAddress;
  if (detail == RouteEntryFaultDetail(RouteEntryFault::PortOutOfRange)) return ConnectFailure::PortOutOfRange;
  return ConnectFailure::Other;
}

std::string RouteReason(const RouteResult& route, bool run_stopped) {
  const int sent = kSettings.FDetailRecords;
  switch (route.outcome) {
    case RouteOutcome::Scored:
      if (route.detail == kRecordsNeverSent) return kRecordsNeverSent;
      if (route.score == 0) return Format("all %d detail records arrived", sent);
      if (route.score < sent) return Format("%d of %d detail records missing", route.score, sent);
      if (route.score == sent) return Format("all %d detail records missing", sent);
      return Format("broken answer: %d records reported missing of %d sent", route.score, sent);
    case RouteOutcome::ConnectFailed: return ConnectWords(route.error, route.detail);
    case RouteOutcome::LoginRefused: return "login refused: " + route.detail;
    case RouteOutcome::NoLoginAnswer: return "no answer to 3 logins";
    case RouteOutcome::NoHeartbeat: return "no heartbeat within 5 s";
    case RouteOutcome::ConnectionLost:
      // A send that finds the socket gone means the route had closed the connection.
      if (route.error == WSAENOTSOCK) return "connection lost: the route closed the connection";
      return route.error != 0 ? "connection lost: " + SocketErrorText(route.error) : "connection lost";
    case RouteOutcome::Stopped: return StoppedWords(route.step);
    case RouteOutcome::NotTried: return run_stopped ? "not tried \u2014 test stopped" : "not tried";
  }
  return {};
}

std::string NotScoredWords(const std::string& reason) { return "not scored \u2014 " + reason; }

std::string RouteOutcomeWords(const RouteResult& route, bool run_stopped) {
  const std::string reason = RouteReason(route, run_stopped);
  return route.HasScore() ? reason : NotScoredWords(reason);
}

bool SucceededWithEveryRouteFailed(const RunSnapshot& run) {
  return run.finished && !run.stopped && run.result_code == kResultSuccess && run.EveryRouteFailed() &&
         run.key.outcome == KeyOutcome::Received;
}

std::string ServerReason(const ServerResult& server) {
  switch (server.outcome) {
    case ServerOutcome::Answered:
      return server.routes == 1 ? "answered with 1 route" : Format("answered with %d routes", server.routes);
    case ServerOutcome::NotOk: return "answered without OK: \"" + server.detail + "\"";
    case ServerOutcome::NoAnswer: return "did not answer within 40 s";
    case ServerOutcome::ConnectFailed: return ConnectWords(server.error, server.detail);
    case ServerOutcome::SendFailed:
      return "the request could not be sent: " + (server.error != 0 ? SocketErrorText(server.error) : server.detail);
    case ServerOutcome::LookupFailed: return "no address for the name, from DNS or from the cache";
    case ServerOutcome::Stopped: return "no answer \u2014 test stopped";
  }
  return {};
}

std::string KeyReason(const KeyResult& key, bool run_stopped) {
  switch (key.outcome) {
    case KeyOutcome::Received: return Format("received (%d bytes in %.2f s)", key.bytes, key.seconds);
    case KeyOutcome::Failed: return key.detail.empty() ? "not received" : "not received: " + key.detail;
    case KeyOutcome::NotReached: return run_stopped ? "not reached \u2014 test stopped" : "not reached";
  }
  return {};
}

const char* RunBanner(const RunSnapshot& run) {
  if (run.stopped) return "S T O P P E D";
  return run.finished ? SpacedBanner(run.result_code) : "";
}

const char* RunBannerWord(const RunSnapshot& run) {
  if (run.stopped) return "STOPPED";
  return run.finished ? BannerWord(run.result_code) : "";
}

std::string ScoreLegend(int detail_records) {
  return Format("Score: detail records the route reported missing of the %d sent; 0 is best, %d or more means "
                "the route failed.",
                detail_records, detail_records);
}

}  // namespace zp
