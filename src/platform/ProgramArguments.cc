#include "platform/ProgramArguments.h"

namespace zp {

// The bytes as the caller passed them: the locale, not the program, says what they mean.
std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace zp
