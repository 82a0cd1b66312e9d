#pragma once
#include <string>

namespace zp::sim {

// The manual page that --help prints, naming the stop requests in the system's words.
std::string UsageText();

}  // namespace zp::sim
