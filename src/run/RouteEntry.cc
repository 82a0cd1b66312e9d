#include "run/RouteEntry.h"

#include "framework/Conversions.h"
#include "platform/Sockets.h"

namespace zp {

RouteEntryParts SplitRouteEntry(std::string_view text) {
  RouteEntryParts parts;
  const auto eq = text.find('=');
  if (eq == std::string_view::npos) {
    parts.name = "????";
    parts.rest = std::string(text);
  } else {
    parts.name = std::string(text.substr(0, eq));
    parts.rest = std::string(text.substr(eq + 1));
  }
  std::string port_text;
  if (const auto colon = parts.rest.find(':'); colon == std::string::npos) {
    port_text = parts.rest;
  } else {
    parts.address = parts.rest.substr(0, colon);
    port_text = parts.rest.substr(colon + 1);
  }
  if (!TryStrToInt(port_text, parts.port)) parts.port = kDefaultRoutePort;
  return parts;
}

bool HasRouteAddress(const RouteEntryParts& parts) {
  if (parts.address.empty()) return false;
  const std::uint32_t address = WsInetAddr(parts.address.c_str());
  return address != 0xFFFFFFFFu && address != 0;
}

RouteEntryFault CheckRouteEntry(const RouteEntryParts& parts) {
  if (!HasRouteAddress(parts)) return RouteEntryFault::NoAddress;
  if (parts.port < 1 || parts.port > 65535) return RouteEntryFault::PortOutOfRange;
  return RouteEntryFault::None;
}

std::string SkippedEntryText(std::string_view entry, const RouteEntryParts& parts) {
  const std::string quoted = "Route \"" + std::string(entry) + "\" ";
  switch (CheckRouteEntry(parts)) {
    case RouteEntryFault::NoAddress: return quoted + "has no address - skipped";
    case RouteEntryFault::PortOutOfRange:
      return quoted + "has port " + std::to_string(parts.port) + ", not 1 to 65535 - skipped";
    case RouteEntryFault::None: break;
  }
  return {};
}

const char* RouteEntryFaultDetail(RouteEntryFault fault) {
  switch (fault) {
    case RouteEntryFault::NoAddress: return "no address";
    case RouteEntryFault::PortOutOfRange: return "port out of range";
    case RouteEntryFault::None: break;
  }
  return "";
}

}  // namespace zp
