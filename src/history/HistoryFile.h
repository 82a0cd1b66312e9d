#pragma once
#include <cstdint>
#include <string>

namespace zp {

class SqliteDb;

// What an opened file holds, before the history reads it or writes to it.
struct HistoryFileCheck {
  int version = 0;    // its layout: 0 for a file without tables yet
  std::string error;  // why the history must leave it alone; empty when it may go on
};

// Whether the open file at `path` is a history this program may use: one marked with
// `application_id`, one of its own from before the mark (the runs and routes tables at a
// layout it knows, no mark), or one without tables at all. Refused: a file of another
// program (another mark, or tables of its own), a layout newer than `known_version`, a
// file that cannot be read; with `quick_check`, also one whose quick check finds damage.
// Reads only.
HistoryFileCheck CheckHistoryFile(SqliteDb& sql, const std::string& path, std::int32_t application_id,
                                  int known_version, bool quick_check);

// What SQLite's quick check finds wrong with the open file at `path` (every page of it is
// read): "<path> is damaged: …", or empty when it is whole.
std::string DamageOf(SqliteDb& sql, const std::string& path);

}  // namespace zp
