#include "platform/SqliteReadLock.h"

#include <windows.h>

#include "platform/WideText.h"

namespace zp {

namespace {

// Where SQLite's file format keeps its locks: a shared reader locks these 510 bytes, two
// past the byte that marks a writer waiting for the readers to leave.
constexpr DWORD kPendingByte = 0x40000000;
constexpr DWORD kSharedFirst = kPendingByte + 2;
constexpr DWORD kSharedSize = 510;

OVERLAPPED SharedRange() {
  OVERLAPPED at{};
  at.Offset = kSharedFirst;
  return at;
}

}  // namespace

SqliteReadLock::~SqliteReadLock() { Release(); }

bool SqliteReadLock::Take(const std::string& path, bool& busy) {
  Release();
  busy = false;
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED at = SharedRange();
  if (!LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0, kSharedSize, 0, &at)) {
    busy = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(file);
    return false;
  }
  FHandle = reinterpret_cast<std::intptr_t>(file);
  return true;
}

void SqliteReadLock::Release() {
  if (FHandle == kNone) return;
  HANDLE file = reinterpret_cast<HANDLE>(FHandle);
  OVERLAPPED at = SharedRange();
  UnlockFileEx(file, 0, kSharedSize, 0, &at);
  CloseHandle(file);
  FHandle = kNone;
}

// "C:\Users\x\history.db" is the URI path "/C:/Users/x/history.db".
std::string SqliteFileUri(const std::string& path, const std::string& query) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  if (path.size() >= 2 && path[1] == ':') uri += '/';
  for (const char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                       c == '-' || c == '.' || c == '_' || c == '~' || c == ':';
    if (c == '\\') {
      uri += '/';
    } else if (plain) {
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
