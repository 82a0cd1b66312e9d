#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace zp {

// Replaces the file at `path` with `content` so that a reader opening it at any moment
// sees either the whole old file or the whole new one, never a part: the content goes
// to a temporary file in the same folder (so the rename never crosses a file system),
// is flushed to the disk, and is then renamed over the path. The temporary name does
// not end the way the path does, so a collector reading "*.prom" never picks it up.
// Returns false with `error` set when anything fails; the old file is then untouched
// and no temporary file is left behind.
bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content, std::string& error);

}  // namespace zp
