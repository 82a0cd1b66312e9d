#include "platform/Utf8Path.h"

namespace zp {

// A path here is bytes, and the programs' bytes are UTF-8 already.
std::filesystem::path Utf8Path(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }

std::string PathUtf8(const std::filesystem::path& path) { return path.native(); }

}  // namespace zp
