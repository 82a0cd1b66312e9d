#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zp {

// One route as the route server sent it: name "=" address ":" port, with its score.
struct RouteEntry {
  std::string text;
  std::int32_t score = 0;
};

// The route list of one test, which is also its result list: unique texts (compared
// without regard to letter case), in first-seen order.
using RouteList = std::vector<RouteEntry>;

}  // namespace zp
