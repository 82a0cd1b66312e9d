#include "session/TestRequest.h"

#include "run/ConnectionChoice.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Blank(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

std::optional<std::int32_t> ParsePortText(std::string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  std::int32_t port = 0;
  for (const char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return std::nullopt;
    port = port * 16 + digit;
  }
  if (port == 0) return std::nullopt;
  return port;
}

CheckedRequest CheckRequest(const TestRequest& request) {
  CheckedRequest checked;
  if (request.selection < 0 || request.selection >= kConnectionChoices) {
    checked.refusal = TestRefusal::Unsupported;
    checked.message = request.selection_text + " is not supported at this time";
    return checked;
  }
  // Without a route server the worker could only fail: say what is missing instead.
  if (Blank(request.server)) {
    checked.refusal = TestRefusal::ServerMissing;
    checked.message = "Type the route server's name or address in the Server box.";
    return checked;
  }
  const std::optional<std::int32_t> port = ParsePortText(request.port_text);
  if (!port) {
    checked.refusal = TestRefusal::PortInvalid;
    checked.message = request.port_text.empty()
                          ? "Type the route server's port in the Port box: 1 to FFFF in hexadecimal."
                          : "The port \"" + EscapeControls(request.port_text) +
                                "\" is not a port: type 1 to FFFF in hexadecimal digits (0-9, A-F).";
    return checked;
  }
  checked.settings.server = request.server;
  checked.settings.port = *port;
  checked.settings.route_code = RouteLetterFor(request.selection, request.route_code);
  return checked;
}

}  // namespace zp
