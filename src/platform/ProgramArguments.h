#pragma once
#include <string>
#include <vector>

namespace zp {

// The program's command line as `main` was given it, the program's name first, each
// argument in UTF-8. On Windows the arguments are read again from the command line in the
// system's own characters: `argv` holds them in the ANSI code page, where "Zürich—β"
// arrives as "Z\xFCrich\x97?" and a character outside the code page is lost.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace zp
