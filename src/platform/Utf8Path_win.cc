#include "platform/Utf8Path.h"

#include "platform/WideText.h"

namespace zp {

// The system's own conversion, which never throws: a byte that is not UTF-8 becomes
// U+FFFD rather than an exception in the middle of writing a file.
std::filesystem::path Utf8Path(std::string_view utf8) { return std::filesystem::path(Wide(std::string(utf8))); }

std::string PathUtf8(const std::filesystem::path& path) { return Narrow(path.native().data(), path.native().size()); }

}  // namespace zp
