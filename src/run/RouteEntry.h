#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace zp {

// A route entry split the one way every user splits it: name "=" address ":" port.
struct RouteEntryParts {
  std::string name;     // before the first "=", or "????" without one
  std::string rest;     // after that "=", or the whole text
  std::string address;  // rest up to its first ":", empty when it has none
  std::int32_t port = 0;
};

// Port 26881 (hex 6901) when the port text is not a number; "$" marks hexadecimal.
inline constexpr std::int32_t kDefaultRoutePort = 26881;

RouteEntryParts SplitRouteEntry(std::string_view text);

// True when the entry's address is a dotted IPv4 address a connect can go to. Without
// one the platform would turn the empty or unreadable text into the broadcast address.
bool HasRouteAddress(const RouteEntryParts& parts);

// Why an entry is skipped rather than connected to: no address, or a port a connect
// cannot name (it would be cut to 16 bits and reach another port than the one shown).
enum class RouteEntryFault { None, NoAddress, PortOutOfRange };
RouteEntryFault CheckRouteEntry(const RouteEntryParts& parts);
// The trace line of an entry that is skipped: "Route "x" has no address - skipped",
// "Route "r1=10.0.0.1:117377" has port 117377, not 1 to 65535 - skipped".
std::string SkippedEntryText(std::string_view entry, const RouteEntryParts& parts);
// What a skipped route's record keeps as its detail: "no address", "port out of range".
const char* RouteEntryFaultDetail(RouteEntryFault fault);

}  // namespace zp
