#include "winapp/WinDpi.h"

#include <cstring>

#include "winapp/WinText.h"

namespace zp {

namespace {

template <typename Fn>
Fn UserCall(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int MessageFontHeight() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  return metrics.lfMessageFont.lfHeight != 0 ? metrics.lfMessageFont.lfHeight : -11;
}

int TextWidth(HWND box, const wchar_t* text) {
  HDC dc = GetDC(box);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text, static_cast<int>(std::wcslen(text)), &size);
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  return size.cx;
}

}  // namespace

UINT DpiOf(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto for_window = UserCall<GetDpiForWindowFn>("GetDpiForWindow");
  if (for_window != nullptr && hwnd != nullptr) {
    if (const UINT dpi = for_window(hwnd); dpi != 0) return dpi;
  }
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

HFONT MakeUiFont(UINT dpi, int pixels, bool bold) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  LOGFONTW font = metrics.lfMessageFont;
  // The system reports it at the system's DPI; this window may be on another monitor.
  HDC dc = GetDC(nullptr);
  const int system_dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  font.lfHeight = pixels != 0 ? -Scale(pixels, dpi) : MulDiv(MessageFontHeight(), static_cast<int>(dpi), system_dpi);
  if (bold) font.lfWeight = FW_BOLD;
  return CreateFontIndirectW(&font);
}

HFONT MakeFixedFont(UINT dpi) {
  LOGFONTW font{};
  HDC dc = GetDC(nullptr);
  const int system_dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  font.lfHeight = MulDiv(MessageFontHeight(), static_cast<int>(dpi), system_dpi);
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  std::wcscpy(font.lfFaceName, L"Courier New");
  return CreateFontIndirectW(&font);
}

int TabCharWidth(HWND box) {
  const int width = TextWidth(box, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return (width / 26 + 1) / 2;
}

int MeasureCharWidth(HWND box) {
  const int width = TextWidth(box, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
  return width > 62 ? width / 62 : 1;
}

int TabbedTextWidth(HWND box, const std::wstring& line, const int* stops, int count) {
  HDC dc = GetDC(box);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)));
  const DWORD size = GetTabbedTextExtentW(dc, line.c_str(), static_cast<int>(line.size()), count,
                                          const_cast<int*>(stops));
  SelectObject(dc, old);
  ReleaseDC(box, dc);
  return LOWORD(size);
}

std::wstring WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<std::size_t>(got));
  return text;
}

bool SetClipboardText(HWND owner, const std::wstring& lines) {
  const std::wstring text = WithCrLfW(lines);
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool ok = false;
  if (memory != nullptr) {
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!ok) GlobalFree(memory);
  }
  CloseClipboard();
  return ok;
}

}  // namespace zp
