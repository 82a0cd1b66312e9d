#include "platform/ConsoleOutput.h"

namespace zp {

// Terminals here take the bytes as they are: the locale, not the program, decides.
void UseUtf8Console() {}

}  // namespace zp
