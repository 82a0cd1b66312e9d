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
// The trace line of an entry that is skipped for want of an address.
std::string NoAddressText(std::string_view entry);

}  // namespace zp
