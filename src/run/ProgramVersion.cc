#include "run/ProgramVersion.h"

#ifndef ZP_VERSION
#define ZP_VERSION "0"
#endif

namespace zp {

const char* ProgramVersion() { return ZP_VERSION; }

}  // namespace zp
