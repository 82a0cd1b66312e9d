#pragma once
#include <windows.h>

#include <string>

namespace zp {

// What every window of the program does the same way when it paints or is resized.

// Answers a WM_CTLCOLOR… message with the system's colours: the text in `text_colour`,
// on `face_colour` with its brush (COLOR_… indices). Every colour handler answers with
// both, so that a high-contrast scheme reaches every control.
LRESULT SystemColours(WPARAM dc, int text_colour, int face_colour);
// Repaints `window` and all its children at once, their backgrounds too: after a resize,
// a maximize or a page change nothing stays blank or shows what was there before.
void RedrawAll(HWND window);
// Takes the place and size the system suggests with WM_DPICHANGED (`lp`).
void MoveToSuggested(HWND window, LPARAM lp);
// Fills in the smallest size for WM_GETMINMAXINFO: a client area of `client` pixels
// plus the window's frame.
void SetMinimumSize(HWND window, LPARAM info, SIZE client);
// Width in pixels of `text` in `control`'s font, as one line; an ampersand that marks an
// access key is not counted.
int TextWidthIn(HWND control, const std::wstring& text, HFONT font = nullptr);
// A push button's width for its caption: at least `least` pixels.
int ButtonWidth(HWND button, int least, UINT dpi);

// Shows `window` modal to its owner (disabled meanwhile) with the focus on `focus`, and
// dispatches every message of the thread (workers' hand-overs, the other windows'
// timers) until `showing` is set false; then hides it and activates the owner again. A
// WM_QUIT met on the way is posted again for the program's own loop.
void RunModal(HWND window, HWND focus, bool& showing);

// For a form's window procedure: the form given to CreateWindowEx as its parameter, kept
// with its window from WM_NCCREATE on; null before.
template <typename Form>
Form* FormOf(HWND hwnd, UINT msg, LPARAM lp) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  return reinterpret_cast<Form*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// A form's window procedure: hands each message to the form's Handle() once its window
// knows it. The form befriends it for its FWindow and Handle().
template <typename Form>
LRESULT CALLBACK FormWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Form* self = FormOf<Form>(hwnd, msg, lp);
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wp, lp);
  if (msg == WM_NCCREATE) self->FWindow = hwnd;
  return self->Handle(msg, wp, lp);
}

}  // namespace zp
