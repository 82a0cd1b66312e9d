#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace zp {

// The programs keep every text in UTF-8, paths included (they come from the command line,
// the system's folders and the save dialog as UTF-8). A std::filesystem::path made from a
// narrow string is read in the system's narrow encoding instead, which on Windows is the
// ANSI code page: "C:\Users\Jürgen—β" would name another folder or none. These two are
// the crossings between the two, exact on every system; never convert a path implicitly.
std::filesystem::path Utf8Path(std::string_view utf8);
std::string PathUtf8(const std::filesystem::path& path);

}  // namespace zp
