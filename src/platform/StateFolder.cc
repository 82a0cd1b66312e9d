#include "platform/StateFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace zp {

std::string StateFolder() {
  std::string base;
  // Only an absolute XDG_STATE_HOME counts; a relative one is ignored, as the XDG rules say.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::string(home) + "/.local/state";
  } else {
    base = "/tmp";
  }
  return base + "/zelvan-probe";
}

std::string StateFile(const std::string& name) { return StateFolder() + "/" + name; }

bool MakeFolderFor(const std::string& file) {
  const auto last = file.rfind('/');
  // From the top down; a folder that is there already will do.
  for (auto slash = file.find('/', 1); slash != std::string::npos && slash <= last; slash = file.find('/', slash + 1))
    if (mkdir(file.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
  return true;
}

}  // namespace zp
