// The window program on Windows: one wizard window and the results window it reuses.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "framework/MemTrack.h"
#include "history/RunHistory.h"
#include "winapp/WinInvoker.h"
#include "winapp/WinProbeForm.h"
#include "winapp/WinResultsForm.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  zp::StartTracking();
  // The manifest asks for per-monitor DPI awareness and the version 6 controls.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  int result = 0;
  {
    zp::WinProbeForm frmProbe;
    zp::WinResultsForm frmResults(frmProbe.Window());
    frmProbe.SetResultsForm(&frmResults);
    frmProbe.SetQuitOnClose(true);
    // Every finished test goes into the user's history, in "%LOCALAPPDATA%\Zelvan Probe".
    frmProbe.SetHistory(std::make_shared<zp::RunHistory>(zp::RunHistory::DefaultPath()));
    ShowWindow(frmProbe.Window(), show);
    UpdateWindow(frmProbe.Window());
    MSG msg;
    for (;;) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) {
        result = got == 0 ? static_cast<int>(msg.wParam) : 1;
        break;
      }
      zp::WinInvoker::Dispatch(msg);
    }
    if (!frmProbe.StopWorkers()) {
      // A worker stuck in a call that a stop cannot interrupt is not waited for:
      // the process ends without it.
      zp::StopTracking();
      std::fflush(nullptr);
      std::_Exit(result);
    }
  }
  zp::StopTracking();
  return result;
}
