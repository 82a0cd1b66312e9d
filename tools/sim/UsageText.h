#pragma once

namespace zp::sim {

// The manual page that --help prints.
const char* UsageText();

}  // namespace zp::sim
