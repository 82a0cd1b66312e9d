#include "platform/SqliteReadLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace zp {

namespace {

// Where SQLite's file format keeps its locks: a shared reader locks these 510 bytes, two
// past the byte that marks a writer waiting for the readers to leave.
constexpr off_t kPendingByte = 0x40000000;
constexpr off_t kSharedFirst = kPendingByte + 2;
constexpr off_t kSharedSize = 510;

}  // namespace

SqliteReadLock::~SqliteReadLock() { Release(); }

bool SqliteReadLock::Take(const std::string& path, bool& busy) {
  Release();
  busy = false;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock lock {};
  lock.l_type = F_RDLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kSharedFirst;
  lock.l_len = kSharedSize;
  if (fcntl(fd, F_SETLK, &lock) != 0) {
    busy = errno == EAGAIN || errno == EACCES;
    close(fd);
    return false;
  }
  FHandle = fd;
  return true;
}

void SqliteReadLock::Release() {
  if (FHandle == kNone) return;
  // Closing the descriptor ends the process's locks on the file.
  close(static_cast<int>(FHandle));
  FHandle = kNone;
}

std::string SqliteFileUri(const std::string& path, const std::string& query) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      uri += ch;
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 0xF];
    }
  }
  return uri + "?" + query;
}

}  // namespace zp
