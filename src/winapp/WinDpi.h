#pragma once
#include <windows.h>

#include <string>

namespace zp {

// Sizes are given at 96 dots per inch and scaled to the monitor the window is on. The
// per-monitor calls exist from Windows 10 on: they are looked up, and older systems get
// the system's one DPI.
UINT DpiOf(HWND hwnd);
inline int Scale(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), 96); }

// The system's message font at `dpi`; `pixels` (at 96 DPI) overrides its height, `bold` its weight.
HFONT MakeUiFont(UINT dpi, int pixels = 0, bool bold = false);
// A fixed-pitch font the height of the message font, for lines whose columns must line up.
HFONT MakeFixedFont(UINT dpi);

// The list box's own average character width for tab stops (from the 52 letters), and
// the 62-letters-and-digits measure the lines' extents use.
int TabCharWidth(HWND box);
int MeasureCharWidth(HWND box);
// Pixel width of `line` in `box`'s font with tabs expanded at `stops` (pixels).
int TabbedTextWidth(HWND box, const std::wstring& line, const int* stops, int count);
// The text of a window.
std::wstring WindowText(HWND hwnd);
// Puts `text` on the clipboard, its lines ended by CR LF.
bool SetClipboardText(HWND owner, const std::wstring& text);

}  // namespace zp
