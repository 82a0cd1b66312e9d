#pragma once
#include <string>

#include "RouteConfig.h"

namespace zp::sim {

// A key of `length` printable characters that an API buffer field carries unchanged:
// no blanks at its end, no control characters, nothing above 127.
std::string SimulatedKey(int length);

// The data part of the route's public-key reply: API buffer text as the route's
// configuration asks for it (empty for a reply that fails through its status).
std::string KeyReplyData(const RouteConfig& config);

}  // namespace zp::sim
