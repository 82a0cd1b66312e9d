#pragma once
#include <windows.h>

#include "run/RunRecord.h"

namespace zp {

// How an ended run's banner looks: a shade for a light face and one for a dark face, and
// the system icon beside it. Words and icon carry the result; the colour only repeats it.
struct WinBannerLook {
  COLORREF colour;
  const wchar_t* icon;  // a system icon's resource name, for LoadIcon
};

WinBannerLook BannerLookOf(const RunSnapshot& run, bool dark_face);
// Whether the window's face (COLOR_BTNFACE) is dark.
bool DarkFace();

}  // namespace zp
