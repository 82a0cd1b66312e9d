#include "platform/SystemName.h"

#include <fstream>

#include <sys/utsname.h>

namespace zp {

namespace {

// PRETTY_NAME from os-release, without its quotes; empty when there is none.
std::string Distribution() {
  for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
      std::string value = line.substr(12);
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'')) value = value.substr(1, value.size() - 2);
      return value;
    }
  }
  return {};
}

}  // namespace

std::string SystemName() {
  std::string name = Distribution();
  utsname u{};
  if (uname(&u) == 0) {
    if (!name.empty()) name += ", ";
    name += std::string(u.sysname) + " " + u.release + " " + u.machine;
  }
  return name.empty() ? "unknown" : name;
}

}  // namespace zp
