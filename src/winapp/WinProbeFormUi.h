#pragma once
#include <windows.h>

#include <initializer_list>

namespace zp {

// The controls of the wizard window: its three pages with their texts, sizes and
// positions at the window's DPI. Building, laying out and showing pages is all it does;
// the window drives them. The page control of the Qt window becomes three groups of
// child windows of which one is visible.
class WinProbeFormUi {
 public:
  enum class Page { Welcome, Select, Process };

  enum Control : int {
    kWelcomeText = 101, kWelcomeNext, kWelcomeClose,
    kSelectGroup = 110, kSelectItem0, kSelectItem1, kSelectItem2,
    kServerLabel = 120, kServer, kPortLabel, kPort, kRouteCodeLabel, kRouteCode,
    kSelectBack = 130, kSelectNext, kSelectClose,
    kResultIcon = 140, kShowThread, kShowState, kProgressText, kShowStatus,
    kTrace = 150, kProgressBar, kProcessBack, kProcessTest, kProcessStop, kProcessClose,
  };
  static constexpr int kItemCount = 3;

  HWND Control(int id) const { return GetDlgItem(FWindow, id); }
  Page CurrentPage() const { return FPage; }

 protected:
  ~WinProbeFormUi();
  // Makes every control as a child of `window`, with the Welcome page showing.
  void Build(HWND window);
  // After a move to a monitor of another DPI (or at first): fonts for that DPI.
  void ApplyFonts(UINT dpi);
  void Layout();
  void ShowPageControls(Page page);
  // The smallest client area that still shows every page whole, from the measured texts.
  SIZE MinimumClientSize() const;
  // The progress bar at `done` of `total`, or busy (moving) for a total of 0.
  void SetProgress(int done, int total);
  // The sunken frame around the three status lines.
  void PaintFrame(HDC dc);

  HWND FWindow = nullptr;
  HFONT FFont = nullptr, FBannerFont = nullptr, FFixedFont = nullptr;
  UINT FDpi = 96;
  Page FPage = Page::Welcome;

 private:
  HWND Make(const wchar_t* kind, const wchar_t* text, DWORD style, int id, DWORD ex = 0);
  RECT StatusFrame() const;
  int StatusPanelHeight() const;
  int ButtonRowWidth(std::initializer_list<int> ids) const;

  int FLineHeight = 16;    // of the window's font, in pixels
  int FBannerHeight = 20;  // of the banner's
};

}  // namespace zp
