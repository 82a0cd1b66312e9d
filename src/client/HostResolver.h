#pragma once
#include <functional>
#include <string>
#include <vector>

namespace zp {

// Asks DNS for a host's IPv4 addresses. False when DNS gave no answer; true with the
// dotted addresses in the order DNS gave them. Injectable so tests can make DNS fail.
using HostResolver = std::function<bool(const std::string& host, std::vector<std::string>& addresses)>;

}  // namespace zp
