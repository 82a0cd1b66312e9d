#include "cli/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zp {

namespace {

// The data on the disk before the rename makes it visible, so that a crash right after
// the rename cannot leave an empty file in the old one's place.
bool FlushToDisk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

// A name no other writer in this folder picks at the same moment: two probes writing
// the same path each rename their own complete file.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937_64 random{std::random_device{}()};
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%016llx.%u.tmp", static_cast<unsigned long long>(random()),
                counter.fetch_add(1));
  std::filesystem::path temporary = path;
  temporary += suffix;
  return temporary;
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error) {
  const std::filesystem::path temporary = TemporaryBeside(path);
  std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
  if (file == nullptr) {
    error = "cannot create " + temporary.string() + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size() && FlushToDisk(file);
  const int write_errno = errno;
  if (std::fclose(file) != 0 || !written) {
    error = "cannot write " + temporary.string() + ": " + std::strerror(written ? errno : write_errno);
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  // Replaces an existing file in one step on POSIX and on Windows alike.
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    error = "cannot rename " + temporary.string() + " to " + path.string() + ": " + ec.message();
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace zp
