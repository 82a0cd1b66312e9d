// Captures each page of the window, a finished test (the process page with its banner,
// and the results window with the change column) and the History window as BMP files in
// the folder given as the argument, for the README. Three tests run with the real worker
// against the route server the first way of connecting names (the simulator's default:
// localhost, port 6900), recorded in a history of their own.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "WinDriver.h"
#include "history/RunHistory.h"
#include "winapp/WinHistoryForm.h"
#include "winapp/WinProbeForm.h"
#include "winapp/WinResultsForm.h"
#include "winapp/WinText.h"
#include "winapp/WinTraceList.h"

namespace {

using zp::WinProbeFormUi;

// What is on the screen where `window` is, as a 24-bit bottom-up BMP.
bool Capture(HWND window, const std::wstring& path) {
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
  const DWORD size = stride * static_cast<DWORD>(h);
  BITMAPFILEHEADER head{};
  head.bfType = 0x4D42;
  head.bfOffBits = sizeof head + sizeof info.bmiHeader;
  head.bfSize = head.bfOffBits + size;
  info.bmiHeader.biSizeImage = size;
  bool ok = false;
  if (FILE* out = _wfopen(path.c_str(), L"wb")) {
    ok = std::fwrite(&head, sizeof head, 1, out) == 1 && std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         std::fwrite(bits, 1, size, out) == size;
    std::fclose(out);
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  std::fwprintf(stderr, L"%ls %ls\n", ok ? L"wrote" : L"could not write", path.c_str());
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: zp_winapp_screenshots FOLDER\n");
    return 3;
  }
  const std::wstring folder = std::wstring(argv[1]) + L"\\";
  zp::test::InitControls();
  zp::WinProbeForm form;
  zp::WinResultsForm results(form.Window());
  form.SetResultsForm(&results);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring db = std::wstring(temp) + L"zp-screenshots-history.db";
  DeleteFileW(db.c_str());
  auto history = std::make_shared<zp::RunHistory>(zp::Utf8(db));
  form.SetHistory(history);
  ShowWindow(form.Window(), SW_SHOW);
  SetForegroundWindow(form.Window());
  const auto settle = [] { zp::test::Pump(400); };
  const auto c = [&](int id) { return form.Control(id); };
  settle();
  bool ok = Capture(form.Window(), folder + L"windows-welcome.bmp");

  zp::test::Click(c(WinProbeFormUi::kWelcomeNext));
  zp::test::Click(c(WinProbeFormUi::kSelectItem0));
  settle();
  ok &= Capture(form.Window(), folder + L"windows-select.bmp");

  zp::test::Click(c(WinProbeFormUi::kSelectNext));
  settle();
  ok &= Capture(form.Window(), folder + L"windows-process.bmp");

  // Three tests, so that the results have a change column and the history a line.
  constexpr int kTests = 3;
  int ended = 0;
  bool closing = false;
  zp::test::ThreadTicker watcher([&] {
    if (!results.IsShowing()) {
      closing = false;
      return;
    }
    if (closing) return;
    closing = true;
    if (++ended == kTests) {
      zp::test::Pump(400);
      ok &= Capture(results.Window(), folder + L"windows-results.bmp");
    }
    zp::test::Click(results.ControlById(zp::WinResultsForm::kClose));
  });
  for (int test = 1; test <= kTests; ++test) {
    zp::test::Click(c(WinProbeFormUi::kProcessTest));
    if (!zp::test::PumpUntil([&] { return ended == test && !results.IsShowing(); }, 120000)) {
      std::fprintf(stderr, "test %d did not end\n", test);
      return 1;
    }
  }
  settle();
  ok &= Capture(form.Window(), folder + L"windows-finished.bmp");

  zp::WinHistoryForm shown(form.Window(), history);
  ShowWindow(shown.Window(), SW_SHOW);
  settle();
  ok &= Capture(shown.Window(), folder + L"windows-history.bmp");
  return ok ? 0 : 1;
}
