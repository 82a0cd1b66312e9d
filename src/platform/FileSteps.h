#pragma once
#include <cstdio>
#include <filesystem>
#include <system_error>

// Inside the platform only: the two steps of replacing a file that differ by system.
namespace zp {

// Opens `path` to write it from the start, binary, made when missing; null with errno set
// when it cannot. The system's own characters on Windows, so no name is lost to a code page.
std::FILE* OpenForWriting(const std::filesystem::path& path);

// Writes the stream's buffers and then the file's data to the disk.
bool FlushToDisk(std::FILE* file);

// Renames `from` over `to` in one step: a reader opening `to` finds the old file or the
// new one, never none. An empty code when it worked.
std::error_code MoveOver(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace zp
