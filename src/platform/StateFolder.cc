#include "platform/StateFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace zp {

namespace {

// The home folder the password database gives the user the program runs as, when it is
// a folder that exists: "/nonexistent" (nobody's) is no home to keep anything in.
std::string PasswordHome() {
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      entry.pw_dir == nullptr || entry.pw_dir[0] != '/')
    return {};
  struct stat folder {};
  if (stat(entry.pw_dir, &folder) != 0 || !S_ISDIR(folder.st_mode)) return {};
  return entry.pw_dir;
}

}  // namespace

std::string StateFolder() {
  // Only an absolute XDG_STATE_HOME counts; a relative one is ignored, as the XDG rules say.
  if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && state[0] == '/')
    return std::string(state) + "/zelvan-probe";
  std::string home;
  if (const char* given = std::getenv("HOME"); given != nullptr && given[0] != '\0') home = given;
  else home = PasswordHome();
  // A shared folder such as /tmp would do for a store only until another user made the
  // folder first and planted what the probe then trusts: without a home, no folder.
  if (home.empty()) return {};
  return home + "/.local/state/zelvan-probe";
}

std::string StateFile(const std::string& name) {
  const std::string folder = StateFolder();
  return folder.empty() ? folder : folder + "/" + name;
}

std::string NoStateFolderText() {
  return "no state folder for the DNS cache and the history: XDG_STATE_HOME and HOME are not set and the password "
         "database gives user " +
         std::to_string(geteuid()) +
         " no home folder that exists; set XDG_STATE_HOME or HOME to a folder of this user's";
}

bool MakeFolderFor(const std::string& file) {
  const auto last = file.rfind('/');
  // From the top down; a folder that is there already will do.
  for (auto slash = file.find('/', 1); slash != std::string::npos && slash <= last; slash = file.find('/', slash + 1))
    if (mkdir(file.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) return false;
  // What is there must be a folder: a file of that name is not one.
  struct stat folder {};
  return last == std::string::npos || last == 0 ||
         (stat(file.substr(0, last).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode));
}

}  // namespace zp
