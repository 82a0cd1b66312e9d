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

std::string NoAddressText(std::string_view entry) {
  return "Route \"" + std::string(entry) + "\" has no address - skipped";
}

}  // namespace zp
