#pragma once
#include <string>
#include <string_view>

namespace zp {

// Replaces the file at `path` with `content` so that a reader opening it at any moment
// sees either the whole old file or the whole new one, never a part: the content goes
// to a temporary file in the same folder (so the rename never crosses a file system),
// is flushed to the disk, and is then renamed over the path. The temporary name does
// not end the way the path does, so a collector reading "*.prom" never picks it up.
// Returns false with `error` set when anything fails; the old file is then untouched
// and no temporary file is left behind. (On Windows an open at the very instant of the
// rename is refused as a sharing conflict, which readers there retry anyway; the file
// is never missing.) A path that ReplaceProblem refuses is left alone. Paths are UTF-8
// (see Utf8Path), and so are the paths in `error`.
bool WriteFileAtomically(const std::string& path, std::string_view content, std::string& error);

// Why `path` cannot be replaced so, or an empty text when it can: it names no file, its
// folder does not exist, or something other than a regular file stands there. The rename
// would put a regular file in the place of a symbolic link, a device, a pipe or a socket
// (run as root, "/dev/stdout" would replace the system's node), so they are refused; a
// symbolic link even to a regular file, since following it would let whoever can make a
// link in a shared folder choose which file is replaced.
std::string ReplaceProblem(const std::string& path);

// Whether the folder that is to hold `path` exists (the current folder for a bare name).
bool FolderOfExists(const std::string& path);

}  // namespace zp
