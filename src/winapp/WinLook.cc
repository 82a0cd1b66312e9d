#include "winapp/WinLook.h"

#include <algorithm>

#include "winapp/WinDpi.h"
#include "winapp/WinInvoker.h"

namespace zp {

LRESULT SystemColours(WPARAM dc, int text_colour, int face_colour) {
  auto* hdc = reinterpret_cast<HDC>(dc);
  SetTextColor(hdc, GetSysColor(text_colour));
  SetBkColor(hdc, GetSysColor(face_colour));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(face_colour));
}

void RedrawAll(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void MoveToSuggested(HWND window, LPARAM lp) {
  const RECT* r = reinterpret_cast<const RECT*>(lp);
  SetWindowPos(window, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetMinimumSize(HWND window, LPARAM info, SIZE client) {
  RECT frame{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
  auto* limits = reinterpret_cast<MINMAXINFO*>(info);
  limits->ptMinTrackSize.x = frame.right - frame.left;
  limits->ptMinTrackSize.y = frame.bottom - frame.top;
}

int TextWidthIn(HWND control, const std::wstring& text, HFONT font) {
  std::wstring shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    shown += text[i];
  }
  HDC dc = GetDC(control);
  if (font == nullptr) font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, shown.c_str(), static_cast<int>(shown.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return size.cx;
}

int ButtonWidth(HWND button, int least, UINT dpi) {
  // The caption with room for the button's edges and its focus rectangle on each side.
  return std::max(least, TextWidthIn(button, WindowText(button)) + Scale(18, dpi));
}

void RunModal(HWND window, HWND focus, bool& showing) {
  HWND owner = GetWindow(window, GW_OWNER);
  if (owner != nullptr) EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  SetForegroundWindow(window);
  SetFocus(focus);
  showing = true;
  MSG msg;
  while (showing) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    WinInvoker::Dispatch(msg);
  }
  showing = false;
  if (owner != nullptr) EnableWindow(owner, TRUE);
  ShowWindow(window, SW_HIDE);
  if (owner != nullptr) SetActiveWindow(owner);
}

}  // namespace zp
