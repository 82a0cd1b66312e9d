#include "platform/ConsoleOutput.h"

#include <unistd.h>

namespace zp {

bool IsTerminal(std::FILE* file) { return isatty(fileno(file)) == 1; }

// Terminals here take the bytes as they are: the locale, not the program, decides.
void UseUtf8Console() {}

}  // namespace zp
