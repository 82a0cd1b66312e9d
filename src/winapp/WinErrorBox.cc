#include "winapp/WinErrorBox.h"

#include <commctrl.h>

namespace zp {

void WinErrorBox::Show(HWND owner, const std::wstring& text) {
  // A message box cannot have a lone Abort button: the task dialog can, with the same
  // icon and its modal loop.
  const TASKDIALOG_BUTTON abort{kAbortId, L"&Abort"};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = owner;
  config.hInstance = GetModuleHandleW(nullptr);
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = L"Error";
  config.pszMainIcon = TD_ERROR_ICON;
  config.pszContent = text.c_str();
  config.cButtons = 1;
  config.pButtons = &abort;
  config.nDefaultButton = kAbortId;
  config.pfCallback = Callback;
  config.lpCallbackData = reinterpret_cast<LONG_PTR>(this);
  FDismissed = false;
  int pressed = 0;
  TaskDialogIndirect(&config, &pressed, nullptr, nullptr);
  FWindow = nullptr;
}

HRESULT CALLBACK WinErrorBox::Callback(HWND hwnd, UINT note, WPARAM, LPARAM, LONG_PTR ref) {
  auto* self = reinterpret_cast<WinErrorBox*>(ref);
  if (note == TDN_CREATED) {
    self->FWindow = hwnd;
    if (self->FDismissed) SendMessageW(hwnd, TDM_CLICK_BUTTON, kAbortId, 0);
  } else if (note == TDN_DESTROYED) {
    self->FWindow = nullptr;
  }
  return S_OK;
}

void WinErrorBox::Dismiss() {
  FDismissed = true;
  if (FWindow != nullptr) PostMessageW(FWindow, TDM_CLICK_BUTTON, kAbortId, 0);
}

}  // namespace zp
