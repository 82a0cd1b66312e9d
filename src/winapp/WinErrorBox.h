#pragma once
#include <windows.h>

#include <string>

namespace zp {

// The worker's fatal-error box: caption "Error", the error icon, one button "&Abort",
// modal to its owner. Its loop dispatches the thread's messages, so hand-overs from
// other workers go on while it is up.
class WinErrorBox {
 public:
  // Shows `text` (bytes, one character each; CR LF breaks lines) and returns once the
  // operator has pressed Abort or the box was dismissed.
  void Show(HWND owner, const std::wstring& text);
  // Closes the box if it is up, as if Abort had been pressed.
  void Dismiss();
  bool IsUp() const { return FWindow != nullptr; }
  HWND Window() const { return FWindow; }

  static constexpr int kAbortId = IDABORT;

 private:
  static HRESULT CALLBACK Callback(HWND hwnd, UINT note, WPARAM wp, LPARAM lp, LONG_PTR self);
  HWND FWindow = nullptr;
  bool FDismissed = false;
};

}  // namespace zp
