#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "platform/Sockets.h"

// Inside the platform only: what both systems' socket calls share.
namespace zp {

// Appends the dotted text of an IPv4 socket address of a resolver's answer, unless it is
// listed already; anything else (another family, a short or missing address) is skipped.
void AppendIPv4Once(int family, const sockaddr* address, std::size_t length, std::vector<std::string>& addresses);

}  // namespace zp
