#pragma once

namespace zp {

// The version of this build ("0.1.0"), for --version, the history and reports.
const char* ProgramVersion();

}  // namespace zp
