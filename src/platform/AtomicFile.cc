#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <system_error>

#include "platform/FileSteps.h"
#include "platform/Utf8Path.h"

namespace zp {

namespace {

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

const char* KindOf(std::filesystem::file_type type) {
  using T = std::filesystem::file_type;
  switch (type) {
    case T::symlink: return "a symbolic link";
    case T::directory: return "a folder";
    case T::block:
    case T::character: return "a device";
    case T::fifo: return "a pipe";
    case T::socket: return "a socket";
    default: return "something else";
  }
}

std::filesystem::path FolderOf(const std::filesystem::path& path) {
  std::filesystem::path folder = path.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

}  // namespace

bool FolderOfExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(FolderOf(Utf8Path(path)), ec);
}

std::string ReplaceProblem(const std::string& text) {
  const std::filesystem::path path = Utf8Path(text);
  if (path.empty() || !path.has_filename()) return "\"" + text + "\" names no file";
  std::error_code ec;
  const std::filesystem::file_status found = std::filesystem::symlink_status(path, ec);
  if (std::filesystem::exists(found) && !std::filesystem::is_regular_file(found))
    return text + " is " + KindOf(found.type()) + ", not a regular file: only a regular file is replaced";
  const std::filesystem::path folder = FolderOf(path);
  if (!std::filesystem::is_directory(folder, ec)) return "no such folder: " + PathUtf8(folder);
  return {};
}

bool WriteFileAtomically(const std::string& text, std::string_view content, std::string& error) {
  // Checked again here, for whatever took the path since the caller looked.
  if (std::string problem = ReplaceProblem(text); !problem.empty()) {
    error = std::move(problem);
    return false;
  }
  const std::filesystem::path path = Utf8Path(text);
  const std::filesystem::path temporary = TemporaryBeside(path);
  std::FILE* file = OpenForWriting(temporary);
  if (file == nullptr) {
    error = "cannot create " + PathUtf8(temporary) + ": " + std::strerror(errno);
    return false;
  }
  const bool written =
      std::fwrite(content.data(), 1, content.size(), file) == content.size() && FlushToDisk(file);
  const int write_errno = errno;
  if (std::fclose(file) != 0 || !written) {
    error = "cannot write " + PathUtf8(temporary) + ": " + std::strerror(written ? errno : write_errno);
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  // The data is on the disk before the rename makes it visible, so that a crash right
  // after the rename cannot leave an empty file in the old one's place.
  if (const std::error_code ec = MoveOver(temporary, path)) {
    error = "cannot rename " + PathUtf8(temporary) + " to " + text + ": " + ec.message();
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

}  // namespace zp
