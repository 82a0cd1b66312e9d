#include "winapp/WinResultBanner.h"

namespace zp {

const wchar_t* BannerIcon(BannerKind kind) {
  switch (kind) {
    case BannerKind::Success: return IDI_INFORMATION;
    case BannerKind::SomeRoutesFailed:
    case BannerKind::Stopped: return IDI_WARNING;
    default: return IDI_ERROR;
  }
}

bool DarkFace() {
  const COLORREF c = GetSysColor(COLOR_BTNFACE);
  return (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000 < 128;
}

}  // namespace zp
