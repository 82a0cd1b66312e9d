#pragma once
#include <windows.h>

#include "session/SessionView.h"

namespace zp {

// The system icon beside an ended test's banner, a resource name for LoadIcon. Words and
// icon carry the result; the colour only repeats it.
const wchar_t* BannerIcon(BannerKind kind);
// Whether the window's face (COLOR_BTNFACE) is dark: the banner then takes its colour
// for a dark background.
bool DarkFace();

}  // namespace zp
