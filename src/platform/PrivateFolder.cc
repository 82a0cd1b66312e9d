#include "platform/PrivateFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/StateFolder.h"

namespace zp {

namespace {

bool Trusted(uid_t owner) { return owner == 0 || owner == geteuid(); }

// "nobody (uid 65534)", or "uid 1234" for a number the password database does not know.
std::string UserText(uid_t uid) {
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  const std::string number = "uid " + std::to_string(uid);
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return number;
  return std::string(entry.pw_name) + " (" + number + ")";
}

std::string NotTrusted(const std::string& what, uid_t owner) {
  const uid_t me = geteuid();
  return what + " belongs to " + UserText(owner) +
         (me == 0 ? std::string(", not to root, who runs the probe")
                  : ", neither to " + UserText(me) + ", who runs the probe, nor to root") +
         ": refused, since its owner could change what is kept there";
}

}  // namespace

std::string FolderProblem(const std::string& folder) {
  struct stat link {};
  if (lstat(folder.c_str(), &link) != 0)
    return errno == ENOENT ? std::string() : "cannot look at the folder " + folder + ": " + std::strerror(errno);
  if (S_ISLNK(link.st_mode) && !Trusted(link.st_uid)) return NotTrusted("the symbolic link " + folder, link.st_uid);
  struct stat found {};
  if (stat(folder.c_str(), &found) != 0)
    return "cannot look at the folder " + folder + ": " + std::strerror(errno);
  if (!S_ISDIR(found.st_mode)) return folder + " is not a folder";
  if (!Trusted(found.st_uid)) return NotTrusted("the folder " + folder, found.st_uid);
  const bool group = (found.st_mode & S_IWGRP) != 0, others = (found.st_mode & S_IWOTH) != 0;
  if (group || others) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(found.st_mode & 07777));
    return "the folder " + folder + " can be written by " +
           (group && others ? "its group and by other users" : group ? "its group" : "other users") + " (mode " +
           mode + "): refused, since they could change what is kept there";
  }
  return {};
}

std::string FolderProblemFor(const std::string& file) {
  const auto slash = file.rfind('/');
  if (slash == std::string::npos) return FolderProblem(".");
  return FolderProblem(slash == 0 ? "/" : file.substr(0, slash));
}

std::string StorePlaceProblem(const std::string& file) {
  return file.empty() ? NoStateFolderText() : FolderProblemFor(file);
}

}  // namespace zp
