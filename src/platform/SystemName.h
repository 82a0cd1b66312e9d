#pragma once
#include <string>

namespace zp {

// The operating system as a support engineer wants to read it: "Debian GNU/Linux 12
// (bookworm), Linux 6.1.0-13-amd64 x86_64".
std::string SystemName();

}  // namespace zp
