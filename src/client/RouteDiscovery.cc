#include "client/RouteDiscovery.h"

#include <algorithm>

#include "client/HostLookup.h"
#include "client/RouteRequest.h"
#include "framework/Conversions.h"
#include "platform/Random.h"
#include "run/RunRecorder.h"

namespace zp {

namespace {

// A numeric address holds "." and the text before its first "." is a number above 0.
bool IsNumericAddress(const std::string& item) {
  const auto dot = item.find('.');
  if (dot == std::string::npos) return false;
  std::int32_t first = 0;
  return TryStrToInt(item.substr(0, dot), first) && first > 0;
}

}  // namespace

ZRouteDiscovery::ZRouteDiscovery(ExchangeHost& host, ZGatewayConnection& connection, const ExchangeSettings& settings,
                                 ZHostLookup& lookup)
    : FHost(host), FConnection(connection), FSettings(settings), FLookup(lookup) {}

void ZRouteDiscovery::DiscoverRoutes(const std::string& server, std::int32_t port, const std::string& route_code,
                                     RouteList& routes, int round) {
  routes.clear();
  std::string rest = server;
  while (!rest.empty() && !FHost.StopRequested()) {
    const auto comma = rest.find(',');
    const std::string item = rest.substr(0, comma);
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    if (item.empty()) break;  // a leading or doubled comma ends the walk
    if (IsNumericAddress(item)) {
      AskAddress(item, item, port, route_code, round, routes);
      continue;
    }
    std::vector<std::string> addresses;
    if (!FLookup.Lookup(item, addresses)) {
      FHost.Record().AddServer({item, "", port, ServerOutcome::LookupFailed, "", 0, 0, round});
      continue;
    }
    const auto n = static_cast<std::uint32_t>(addresses.size());
    for (std::uint32_t i = 0; i < n; ++i) std::swap(addresses[i], addresses[RandomRange(n)]);
    for (const std::string& address : addresses) {
      if (FHost.StopRequested() || AskAddress(item, address, port, route_code, round, routes)) break;
    }
  }
}

bool ZRouteDiscovery::AskAddress(const std::string& item, const std::string& address, std::int32_t port,
                                 const std::string& route_code, int round, RouteList& routes) {
  RouteRequestResult result = ZRouteRequest(FHost, FConnection, FSettings, address, port, route_code, round).Run("");
  int listed = 0;
  if (result.outcome == ServerOutcome::Answered) {
    MergeRoutes(result.lines, routes);
    listed = static_cast<int>(
        std::count_if(result.lines.begin() + 1, result.lines.end(), [](const std::string& l) { return !l.empty(); }));
  }
  FHost.Record().AddServer({item, address, port, result.outcome, result.detail, result.error, listed, round});
  return result.connected;
}

// After several accepted answers the list is exactly the last one's, in first-seen order.
void ZRouteDiscovery::MergeRoutes(const std::vector<std::string>& lines, RouteList& routes) {
  auto listed = [&](const std::string& text) {
    return std::any_of(lines.begin() + 1, lines.end(), [&](const std::string& l) { return SameTextIgnoringCase(l, text); });
  };
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const bool known = std::any_of(routes.begin(), routes.end(),
                                   [&](const RouteEntry& r) { return SameTextIgnoringCase(r.text, lines[i]); });
    if (!known) routes.push_back({lines[i], FSettings.FDetailRecords});
  }
  for (std::size_t i = routes.size(); i-- > 0;) {
    if (!listed(routes[i].text)) routes.erase(routes.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace zp
