#include "winapp/WinResultBanner.h"

namespace zp {

WinBannerLook BannerLookOf(const RunSnapshot& run, bool dark) {
  if (run.stopped) return {dark ? RGB(0xFF, 0xE0, 0x66) : RGB(0x5A, 0x4A, 0x00), IDI_WARNING};
  switch (run.result_code) {
    case 1: return {dark ? RGB(0x8C, 0xF0, 0x8C) : RGB(0x1B, 0x5E, 0x20), IDI_INFORMATION};
    case 2: return {dark ? RGB(0xFF, 0xB8, 0x4D) : RGB(0x8A, 0x45, 0x00), IDI_WARNING};
    default: return {dark ? RGB(0xFF, 0x8A, 0x8A) : RGB(0xA0, 0x10, 0x10), IDI_ERROR};
  }
}

bool DarkFace() {
  const COLORREF c = GetSysColor(COLOR_BTNFACE);
  return (GetRValue(c) * 299 + GetGValue(c) * 587 + GetBValue(c) * 114) / 1000 < 128;
}

}  // namespace zp
