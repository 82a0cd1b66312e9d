#pragma once
#include <cstdint>
#include <string>

namespace zp {

// A reader's hold on an SQLite database file, taken as SQLite's own readers take it: a
// shared lock on the bytes its file format sets aside for that. It is for a connection
// that opens the file as immutable and so takes no lock itself. While it is held, a
// program writing the file through a write-ahead log cannot fold the log back into the
// file when it closes (it leaves the log for the next reader), and one writing without a
// log waits. Within this process, take it only while no other connection has the file
// open: the system's record locks belong to the process, and closing this hold would drop
// theirs too.
class SqliteReadLock {
 public:
  SqliteReadLock() = default;
  ~SqliteReadLock();
  SqliteReadLock(const SqliteReadLock&) = delete;
  SqliteReadLock& operator=(const SqliteReadLock&) = delete;

  // False while a writer holds the file for itself (a moment: try again), or when it
  // cannot be opened; `busy` then says which.
  bool Take(const std::string& path, bool& busy);
  void Release();
  bool Held() const { return FHandle != kNone; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t FHandle = kNone;
};

// `path` as an SQLite URI with `query` ("mode=ro&immutable=1"): the characters a URI
// gives a meaning of its own escaped, the system's path form made a URI path.
std::string SqliteFileUri(const std::string& path, const std::string& query);

}  // namespace zp
