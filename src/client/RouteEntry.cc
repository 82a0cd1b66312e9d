#include "client/RouteEntry.h"

#include "framework/Conversions.h"

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

}  // namespace zp
