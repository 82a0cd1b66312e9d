// Route discovery: the walk over the server list, DNS with the persistent cache, and
// one route request per address.
#include <algorithm>
#include <cstdio>
#include <strings.h>

#include "client/DnsCache.h"
#include "client/ClientFormat.h"
#include "client/ProbeExpressClientThread.h"
#include "framework/Conversions.h"
#include "framework/Errors.h"
#include "platform/LocalTime.h"
#include "platform/Random.h"
#include "platform/Tick.h"
#include "protocol/ProbeExpBuf.h"

namespace zp {

namespace {

constexpr std::uint32_t kAnswerTimeoutMs = 40000;
constexpr long kRequestPauseMs = 200;
constexpr long kPollPauseMs = 250;
constexpr long kConnectedPauseMs = 250;

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

void ZExpressTcpClientThread::DiscoverRoutes() {
  FRoutes.clear();
  std::string rest = FServer;
  while (!rest.empty() && !Terminated()) {
    const auto comma = rest.find(',');
    const std::string item = rest.substr(0, comma);
    rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    if (item.empty()) break;  // a leading or doubled comma ends the walk
    if (IsNumericAddress(item)) {
      GetRoute(item, FPort, "");
      continue;
    }
    std::vector<std::string> addresses;
    if (!LookupHost(item, addresses)) continue;
    const auto n = static_cast<std::uint32_t>(addresses.size());
    for (std::uint32_t i = 0; i < n; ++i) std::swap(addresses[i], addresses[RandomRange(n)]);
    for (const std::string& address : addresses) {
      if (Terminated() || GetRoute(address, FPort, "") == 1) break;
    }
  }
}

bool ZExpressTcpClientThread::LookupHost(const std::string& host, std::vector<std::string>& addresses) {
  addresses.clear();
  std::vector<std::string> answer;
  const bool answered = FResolver ? FResolver(host, answer) : WsResolveIPv4(host, answer);
  if (answered) {
    for (std::size_t i = 0; i < answer.size(); ++i) {
      addresses.push_back(answer[i]);
      Trace(Format("[%d] Address \"%s\"", static_cast<int>(i), answer[i].c_str()));
    }
    Trace("Saving DNS lookup to registry");
    std::string reason;
    try {
      FDnsCache->Save(host, addresses, reason);
    } catch (const ZError&) {
      Trace(reason);  // the store's own words, before the error ends the test
      throw;
    }
    return !addresses.empty();
  }
  Trace("DNS lookup failed - Looking for cached DNS entries in registry");
  switch (FDnsCache->Load(host, addresses)) {
    case DnsCache::LoadResult::NoRoot:
      Trace("Can't open DNS reg key");
      return false;
    case DnsCache::LoadResult::NoHost:
      Trace("No cached DNS entries found for " + host);
      return false;
    case DnsCache::LoadResult::Found:
      break;
  }
  if (addresses.empty()) {
    Trace("No cached DNS entries found");
    return false;
  }
  Trace(Format("Found %d cached DNS entries", static_cast<int>(addresses.size())));
  return true;
}

int ZExpressTcpClientThread::GetRoute(const std::string& address, std::int32_t port, const std::string& body) {
  const char* a = address.c_str();
  const unsigned hex_port = static_cast<unsigned>(port);
  Trace(Format("GetRoute Start \"%s:%4.4X\"", a, hex_port));
  int result = 1;
  std::string error;
  int code = 0;
  switch (ConnectTo(address, port, error, code)) {
    case ConnectResult::NoSocket:
      Trace(Format("couldn't create socket Error(%d)", code));
      result = 0;
      break;
    case ConnectResult::ConnectFailed:
      Trace(Format("connect() failed to \"%s:%4.4X\" %s ", a, hex_port, error.c_str()));
      result = 0;
      break;
    case ConnectResult::SelectFailed:
      Trace("WSAAsyncSelect() err " + error);
      result = 0;
      break;
    case ConnectResult::Connected: {
      Pause(kConnectedPauseMs);
      const std::string connected = Format("Connected to %s:%4.4X (%d)", a, hex_port, port);
      Trace(connected);
      SetStatusText(connected);
      break;
    }
  }

  if (result == 1) {
    ZExpBuf packet(OnTrace());
    std::vector<std::uint8_t> bytes(ZExpBuf::MaxPacketLength);
    int sync_state = 0;
    std::uint32_t deadline = 0;
    bool done = false;
    while (!done && !Terminated()) {
      Pause(kRequestPauseMs);
      switch (sync_state) {
        case 0: {
          SetStatusText(Format("Tx Request to %s:%4.4X (%d)", a, hex_port, port));
          packet.ClientSequence = NextClientSequence();
          packet.DataCenterId = "";
          packet.CircuitNumber = 0;
          packet.CircuitSequence = 0;
          packet.BuildRoutesRequest(FClientId, FClientSubId, "NETAPI", "73105",
                                    FRouteCode.empty() ? ' ' : FRouteCode[0]);
          packet.SetData(static_cast<int>(body.size()), reinterpret_cast<const std::uint8_t*>(body.data()));
          int length = 0;
          packet.Encode(length, bytes.data());
          deadline = GetTickCount() + kAnswerTimeoutMs;
          TraceDump("Tx", length, bytes.data());
          if (SendWithRetry(packet, bytes.data(), length, error) == 0) {
            sync_state = 1;
          } else {
            Trace("SendRouteRequest:  send() failed " + error);
            sync_state = 99;
          }
          break;
        }
        case 1: {
          if (TickPassed(GetTickCount(), deadline)) {
            Trace("Timeout waiting for Response");
            SetStatusText("Routes Timeout");
            sync_state = 99;
            break;
          }
          int length = 0;
          if (!NextPacket(length, bytes.data())) {
            Pause(kPollPauseMs);
            break;
          }
          if (packet.Decode(length, bytes.data()) <= 0) break;
          const auto data = packet.DataView();
          const std::vector<std::string> lines =
              SplitLines(std::string(reinterpret_cast<const char*>(data.data()), data.size()));
          if (lines.empty()) break;
          // Lines are joined rather than formatted: a peer's line may be longer than a
          // format buffer and may hold any byte, NUL included.
          SetStatusText(Format("Rx Response from %s:%4.4X (%d) \"", a, hex_port, port) + lines[0] + "\"");
          for (std::size_t i = 0; i < lines.size(); ++i)
            Trace(Format("%2.2d \"", static_cast<int>(i)) + lines[i] + "\"");
          done = true;
          if (lines[0].rfind("OK", 0) != 0) break;
          MergeRoutes(lines);
          SetStatusText("Routes Updated " + FormatNow("mm/dd hh:nn"));
          break;
        }
        case 99:
          Trace("Error occurred - Abort getroutes");
          done = true;
          break;
        default:
          Trace(Format("Unrecognized SyncState (%d)", sync_state));
          done = true;
          break;
      }
    }
  }
  FreeSocket();
  Trace(Format("GetRoute Finished \"%s:%4.4X\"", a, hex_port));
  return result;
}

// Adds the answer's new routes in order, then drops every route it does not list, so
// after several accepted answers the list is exactly the last one's, in first-seen order.
void ZExpressTcpClientThread::MergeRoutes(const std::vector<std::string>& lines) {
  auto listed = [&](const std::string& text) {
    return std::any_of(lines.begin() + 1, lines.end(), [&](const std::string& l) { return SameText(l, text); });
  };
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    const bool known = std::any_of(FRoutes.begin(), FRoutes.end(),
                                   [&](const RouteEntry& r) { return SameText(r.text, lines[i]); });
    if (!known) FRoutes.push_back({lines[i], FDetailRecords});
  }
  for (std::size_t i = FRoutes.size(); i-- > 0;) {
    if (!listed(FRoutes[i].text)) FRoutes.erase(FRoutes.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace zp
