#pragma once
#include <cstdint>
#include <string>

namespace zp {

class HistoryDb;

// The newest layout of the history file: its tables, columns and indexes, numbered.
int HistoryLayoutVersion();
// The first layout with the index of the runs by their start.
inline constexpr int kLayoutRunsByStart = 4;

// Makes the history open in `db` (at `path`) ready for writing, in one write transaction:
// the write-ahead log, then the steps from the layout it has to the newest, then the mark.
// Two programs opening an old file together bring it up to date once. A file with runs is
// checked whole before its layout changes. The error, or empty when `db` may be written
// (it is then marked writable at the newest layout).
std::string UpgradeHistoryLayout(HistoryDb& db, const std::string& path, std::int32_t application_id, int busy_ms);

}  // namespace zp
