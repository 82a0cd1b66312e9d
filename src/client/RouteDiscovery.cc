#include "client/RouteDiscovery.h"

#include <algorithm>
#include <strings.h>

#include <mutex>
#include <thread>

#include "client/DnsCache.h"
#include "run/RunRecorder.h"
#include "framework/Conversions.h"
#include "framework/Errors.h"
#include "framework/Format.h"
#include "net/ZWinSock.h"
#include "platform/LocalTime.h"
#include "platform/Random.h"
#include "platform/Tick.h"

namespace zp {

namespace {

constexpr long kRequestPauseMs = 200;
constexpr long kPollPauseMs = 250;
constexpr long kConnectedPauseMs = 250;
constexpr long kLookupPollMs = 10;

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Lines separated by CR, LF or CR LF; a break at the very end makes no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// A numeric address holds "." and the text before its first "." is a number above 0.
bool IsNumericAddress(const std::string& item) {
  const auto dot = item.find('.');
  if (dot == std::string::npos) return false;
  std::int32_t first = 0;
  return TryStrToInt(item.substr(0, dot), first) && first > 0;
}

}  // namespace

ZRouteDiscovery::ZRouteDiscovery(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings,
                                 DnsCache& cache, const HostResolver& resolver)
    : FHost(host), FConnection(connection), FSettings(settings), FCache(cache), FResolver(resolver) {}

void ZRouteDiscovery::DiscoverRoutes(const std::string& server, std::int32_t port, const std::string& route_code,
                                     RouteList& routes) {
  routes.clear();
  FRoutes = &routes;
  FRouteCode = route_code;
  std::string rest = server;
  while (!rest.empty() && !FHost.StopRequested()) {
    const auto comma = rest.find(',');
    FServerItem = rest.substr(0, comma);
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    if (FServerItem.empty()) break;  // a leading or doubled comma ends the walk
    if (IsNumericAddress(FServerItem)) {
      GetRoute(FServerItem, port, "");
      continue;
    }
    std::vector<std::string> addresses;
    if (!LookupHost(FServerItem, addresses)) {
      FAddress.clear();
      FPort = port;
      RecordServer(ServerOutcome::LookupFailed, "");
      continue;
    }
    const auto n = static_cast<std::uint32_t>(addresses.size());
    for (std::uint32_t i = 0; i < n; ++i) std::swap(addresses[i], addresses[RandomRange(n)]);
    for (const std::string& address : addresses) {
      if (FHost.StopRequested() || GetRoute(address, port, "") == 1) break;
    }
  }
  FRoutes = nullptr;
}

bool ZRouteDiscovery::LookupHost(const std::string& host, std::vector<std::string>& addresses) {
  addresses.clear();
  std::vector<std::string> answer;
  const bool answered = Resolve(host, answer);
  if (FHost.StopRequested()) return false;
  if (answered) {
    for (std::size_t i = 0; i < answer.size(); ++i) {
      addresses.push_back(answer[i]);
      FHost.Trace(Format("[%d] Address \"%s\"", static_cast<int>(i), answer[i].c_str()));
    }
    FHost.Trace("Saving DNS lookup to registry");
    std::string reason;
    try {
      FCache.Save(host, addresses, reason);
    } catch (const ZError& e) {
      // The cache only serves a later test whose DNS fails: a store that cannot be
      // written (locked by another program, a read-only folder) must not fail this one,
      // whose DNS has answered.
      FHost.Trace(reason);
      FHost.Trace(e.what());
      FHost.Trace("Warning: DNS cache not written - going on with the addresses DNS gave");
    }
    return !addresses.empty();
  }
  FHost.Trace("DNS lookup failed - Looking for cached DNS entries in registry");
  DnsCache::LoadResult loaded = DnsCache::LoadResult::NoHost;
  try {
    loaded = FCache.Load(host, addresses);
  } catch (const ZError& e) {
    // A damaged entry is as good as none: the test goes on without it.
    FHost.Trace(e.what());
    FHost.Trace("Warning: cached DNS entries for " + host + " unreadable - ignored");
    addresses.clear();
    return false;
  }
  switch (loaded) {
    case DnsCache::LoadResult::NoRoot:
      FHost.Trace("Can't open DNS reg key");
      return false;
    case DnsCache::LoadResult::NoHost:
      FHost.Trace("No cached DNS entries found for " + host);
      return false;
    case DnsCache::LoadResult::Found:
      break;
  }
  if (addresses.empty()) {
    FHost.Trace("No cached DNS entries found");
    return false;
  }
  FHost.Trace(Format("Found %d cached DNS entries", static_cast<int>(addresses.size())));
  return true;
}

// The system's DNS may take many seconds to give up, and a stop must not wait for it: the
// lookup runs on a thread of its own, which is left to end alone when a stop comes first.
// Everything it touches is its own or shared with it. A resolver given by a test answers
// at once, in line.
bool ZRouteDiscovery::Resolve(const std::string& host, std::vector<std::string>& answer) {
  if (FResolver) return FResolver(host, answer);
  struct Lookup {
    std::mutex lock;
    bool done = false;
    bool answered = false;
    std::vector<std::string> addresses;
  };
  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host] {
    std::vector<std::string> addresses;
    const bool answered = WsResolveIPv4(host, addresses);
    std::lock_guard guard(lookup->lock);
    lookup->answered = answered;
    lookup->addresses = std::move(addresses);
    lookup->done = true;
  }).detach();
  for (;;) {
    {
      std::lock_guard guard(lookup->lock);
      if (lookup->done) {
        answer = std::move(lookup->addresses);
        return lookup->answered;
      }
    }
    if (FHost.StopRequested()) return false;
    FHost.Pause(kLookupPollMs);
  }
}

int ZRouteDiscovery::GetRoute(const std::string& address, std::int32_t port, const std::string& body) {
  FAddress = address;
  FPort = port;
  FRecorded = false;
  const char* a = address.c_str();
  const unsigned hex_port = static_cast<unsigned>(port);
  FHost.Trace(Format("GetRoute Start \"%s:%4.4X\"", a, hex_port));
  const int result = Connect(address, port) ? 1 : 0;
  if (result == 1) {
    FSyncState = SyncState::kTxRequest;
    FDone = false;
    FPacket = ZExpBuf();  // each request starts from a new packet's fields
    FBytes.assign(ZExpBuf::MaxPacketLength, 0);
    while (!FDone && !FHost.StopRequested()) {
      FHost.Pause(kRequestPauseMs);
      switch (FSyncState) {
        case SyncState::kTxRequest:
          SendRequest(body);
          break;
        case SyncState::kRxResponse:
          ReceiveResponse();
          break;
        case SyncState::kAbort:
          FHost.Trace("Error occurred - Abort getroutes");
          FDone = true;
          break;
      }
    }
    if (!FRecorded) RecordServer(ServerOutcome::Stopped, "");
  }
  FConnection.FreeSocket();
  FHost.Trace(Format("GetRoute Finished \"%s:%4.4X\"", a, hex_port));
  return result;
}

bool ZRouteDiscovery::Connect(const std::string& address, std::int32_t port) {
  const char* a = address.c_str();
  const unsigned hex_port = static_cast<unsigned>(port);
  std::string error;
  int code = 0;
  switch (FConnection.ConnectTo(address, port, error, code)) {
    case ZGatewayConnection::ConnectResult::NoSocket:
      FHost.Trace(Format("couldn't create socket Error(%d)", code));
      RecordServer(ServerOutcome::ConnectFailed, SocketErrorText(code));
      return false;
    case ZGatewayConnection::ConnectResult::ConnectFailed:
      FHost.Trace(Format("connect() failed to \"%s:%4.4X\" %s ", a, hex_port, error.c_str()));
      // A connect that a stop cut short says nothing about the server.
      RecordServer(FHost.StopRequested() ? ServerOutcome::Stopped : ServerOutcome::ConnectFailed, error);
      return false;
    case ZGatewayConnection::ConnectResult::SelectFailed:
      FHost.Trace("WSAAsyncSelect() err " + error);
      RecordServer(ServerOutcome::ConnectFailed, error);
      return false;
    case ZGatewayConnection::ConnectResult::Connected:
      break;
  }
  FHost.Pause(kConnectedPauseMs);
  const std::string connected = Format("Connected to %s:%4.4X (%d)", a, hex_port, port);
  FHost.Trace(connected);
  FHost.SetStatusText(connected);
  return true;
}

void ZRouteDiscovery::SendRequest(const std::string& body) {
  const char* a = FAddress.c_str();
  const unsigned hex_port = static_cast<unsigned>(FPort);
  FHost.SetStatusText(Format("Tx Request to %s:%4.4X (%d)", a, hex_port, FPort));
  FPacket.ClientSequence = FHost.NextClientSequence();
  FPacket.DataCenterId = "";
  FPacket.CircuitNumber = 0;
  FPacket.CircuitSequence = 0;
  FPacket.BuildRoutesRequest(FSettings.FClientId, FSettings.FClientSubId, "NETAPI", "73105",
                             FRouteCode.empty() ? ' ' : FRouteCode[0]);
  FPacket.SetData(static_cast<int>(body.size()), reinterpret_cast<const std::uint8_t*>(body.data()));
  int length = 0;
  FPacket.Encode(length, FBytes.data());
  FDeadline = FHost.Now() + kRouteServerAnswerMs;
  FHost.TraceDump("Tx", length, FBytes.data());
  std::string error;
  if (FConnection.SendWithRetry(FPacket, FBytes.data(), length, error) == 0) {
    FSyncState = SyncState::kRxResponse;
  } else {
    FHost.Trace("SendRouteRequest:  send() failed " + error);
    RecordServer(ServerOutcome::SendFailed, error);
    FSyncState = SyncState::kAbort;
  }
}

void ZRouteDiscovery::ReceiveResponse() {
  if (TickPassed(FHost.Now(), FDeadline)) {
    FHost.Trace("Timeout waiting for Response");
    FHost.SetStatusText("Routes Timeout");
    RecordServer(ServerOutcome::NoAnswer, "");
    FSyncState = SyncState::kAbort;
    return;
  }
  int length = 0;
  if (!FConnection.NextPacket(length, FBytes.data())) {
    FHost.Pause(kPollPauseMs);
    return;
  }
  if (FPacket.Decode(length, FBytes.data()) <= 0) return;
  const auto data = FPacket.DataView();
  const std::vector<std::string> lines = SplitLines(std::string(reinterpret_cast<const char*>(data.data()), data.size()));
  if (lines.empty()) return;
  const char* a = FAddress.c_str();
  const unsigned hex_port = static_cast<unsigned>(FPort);
  // Lines are joined rather than formatted: a peer's line may be longer than a format
  // buffer and may hold any byte, NUL included.
  FHost.SetStatusText(Format("Rx Response from %s:%4.4X (%d) \"", a, hex_port, FPort) + lines[0] + "\"");
  for (std::size_t i = 0; i < lines.size(); ++i) FHost.Trace(Format("%2.2d \"", static_cast<int>(i)) + lines[i] + "\"");
  FDone = true;
  if (lines[0].rfind("OK", 0) != 0) {
    RecordServer(ServerOutcome::NotOk, lines[0]);
    return;
  }
  MergeRoutes(lines);
  const auto listed = std::count_if(lines.begin() + 1, lines.end(), [](const std::string& l) { return !l.empty(); });
  RecordServer(ServerOutcome::Answered, "", static_cast<int>(listed));
  FHost.SetStatusText("Routes Updated " + FormatNow("mm/dd hh:nn"));
}

// After several accepted answers the list is exactly the last one's, in first-seen order.
void ZRouteDiscovery::MergeRoutes(const std::vector<std::string>& lines) {
  RouteList& routes = *FRoutes;
  auto listed = [&](const std::string& text) {
    return std::any_of(lines.begin() + 1, lines.end(), [&](const std::string& l) { return SameText(l, text); });
  };
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const bool known =
        std::any_of(routes.begin(), routes.end(), [&](const RouteEntry& r) { return SameText(r.text, lines[i]); });
    if (!known) routes.push_back({lines[i], FSettings.FDetailRecords});
  }
  for (std::size_t i = routes.size(); i-- > 0;) {
    if (!listed(routes[i].text)) routes.erase(routes.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

void ZRouteDiscovery::RecordServer(ServerOutcome outcome, const std::string& detail, int routes) {
  FRecorded = true;
  const bool socket_failure = outcome == ServerOutcome::ConnectFailed || outcome == ServerOutcome::SendFailed;
  FHost.Record().AddServer(
      {FServerItem, FAddress, FPort, outcome, detail, socket_failure ? FConnection.LastError() : 0, routes});
}

}  // namespace zp
