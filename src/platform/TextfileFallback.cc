#include "platform/TextfileFallback.h"

namespace zp {

std::string TextfileFallbackFolder() { return {}; }

}  // namespace zp
