// How the native windows look, read back from what they paint: the system's colours in a
// dark high-contrast scheme, every text within its control at 100, 150 and 200 %, nothing
// stale after Back, a resize, a maximize or the results window's growing and shrinking,
// the smallest sizes, Esc, and the results' horizontal scroll. These tests change the
// system's colours and read the screen, so they run alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "WinFormFixture.h"
#include "winapp/WinInvoker.h"
#include "winapp/WinLook.h"
#include "winapp/WinText.h"

namespace zp::test {
namespace {

using Pixels = std::vector<COLORREF>;

RECT ScreenRect(HWND control) {
  RECT r{};
  GetClientRect(control, &r);
  MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&r), 2);
  return r;
}
// What the screen shows of a control's client area now.
Pixels OnScreen(HWND control) {
  const RECT r = ScreenRect(control);
  return Drawn(r.right - r.left, r.bottom - r.top, [&](HDC dc) {
    HDC screen = GetDC(nullptr);
    BitBlt(dc, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
  });
}
bool Has(const Pixels& pixels, COLORREF colour) { return std::find(pixels.begin(), pixels.end(), colour) != pixels.end(); }

std::vector<HWND> VisibleChildren(HWND window) {
  std::vector<HWND> children;
  for (HWND c = GetWindow(window, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
    if (IsWindowVisible(c)) children.push_back(c);
  return children;
}

// Every visible control shows on the screen what it paints afresh: none was left blank or
// stale. Edits are left out (their caret blinks), so is the marquee.
void ExpectNothingStale(HWND window, const char* when) {
  Pump(300);
  for (HWND c : VisibleChildren(window)) {
    wchar_t kind[32];
    GetClassNameW(c, kind, 32);
    if (_wcsicmp(kind, L"Edit") == 0 || _wcsicmp(kind, PROGRESS_CLASSW) == 0) continue;
    const LONG_PTR style = GetWindowLongPtrW(c, GWL_STYLE);
    // The group box's inside is checked on its own; the trace draws its lines through its
    // owner, which a print of the box alone does not reach: its lines must show.
    if (_wcsicmp(kind, L"Button") == 0 && (style & BS_TYPEMASK) == BS_GROUPBOX) continue;
    if (_wcsicmp(kind, L"ListBox") == 0 && (style & LBS_OWNERDRAWFIXED) != 0) {
      if (SendMessageW(c, LB_GETCOUNT, 0, 0) > 0) {
        EXPECT_TRUE(Has(OnScreen(c), GetSysColor(COLOR_WINDOWTEXT))) << when << ": the trace's lines";
      }
      continue;
    }
    const Pixels screen = OnScreen(c), painted = Painted(c);
    std::size_t differ = 0, first = 0;
    for (std::size_t i = 0; i < std::min(screen.size(), painted.size()); ++i)
      if (screen[i] != painted[i] && differ++ == 0) first = i;
    RECT r{};
    GetClientRect(c, &r);
    EXPECT_EQ(differ, 0u) << when << ": control " << GetDlgCtrlID(c) << " " << Utf8(WindowText(c)) << " first at "
                          << first % std::max<LONG>(r.right, 1) << "," << first / std::max<LONG>(r.right, 1) << " of "
                          << r.right << "x" << r.bottom << " screen " << std::hex << screen[first] << " painted " << painted[first];
  }
}

// A dark high-contrast scheme for the test's length: white text on black.
class DarkScheme {
 public:
  DarkScheme() {
    for (const int i : kIndices) FSaved.push_back(GetSysColor(i));
    const COLORREF values[] = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 0), RGB(255, 255, 255)};
    SetSysColors(static_cast<int>(std::size(kIndices)), kIndices, values);
  }
  ~DarkScheme() { SetSysColors(static_cast<int>(std::size(kIndices)), kIndices, FSaved.data()); }

 private:
  static constexpr INT kIndices[] = {COLOR_BTNFACE, COLOR_BTNTEXT, COLOR_WINDOW, COLOR_WINDOWTEXT};
  std::vector<COLORREF> FSaved;
};

FakeWorker::Script Running() {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.AddRoute("G1=1.1.1.1:1", 0);
    w.SetStatusText("Profiling route 1 of 4");
    while (!w.Terminated()) Sleep(10);
  };
  return script;
}

FakeWorker::Script LongRoute() {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.AddRoute("G1=1.1.1.1:1", 0);
    w.AddRoute("Gateway-with-a-rather-long-entry-name-" + std::string(60, 'x') + "=127.0.0.1:26881", 25);
  };
  script.profile = [](FakeWorker& w) {
    w.ScoreRoute(0, 0);
    w.ScoreRoute(1, 25, true);
    w.SetResultCode(2);
  };
  return script;
}

TEST_F(WinFormTest, InADarkHighContrastSchemeEveryStaticAndListDrawsWithTheSystemsTextColour) {
  DarkScheme dark;
  Test(1, LongRoute());
  ASSERT_TRUE(WaitForResults());
  const COLORREF text = RGB(255, 255, 255);
  const auto check = [&](HWND control) {
    EXPECT_TRUE(Has(Painted(control), text)) << "control " << GetDlgCtrlID(control) << " " << Utf8(WindowText(control));
  };
  for (const int id : {Ui::kWelcomeText, Ui::kSelectItem0, Ui::kSelectItem1, Ui::kSelectItem2, Ui::kServerLabel,
                       Ui::kPortLabel, Ui::kRouteCodeLabel, Ui::kTrace})
    check(C(id));
  // The status lines of a test under way.
  Click(C(Ui::kProcessBack));
  Click(C(Ui::kSelectNext));
  factory.script = Running();
  factory.script.alive = alive;
  form->SetWorkerFactory(factory.Make());
  Click(C(Ui::kProcessTest));
  ASSERT_TRUE(PumpUntil([&] {
    form->tmrProcessTimer();
    return !Text(C(Ui::kShowStatus)).empty();
  }, 5000));
  for (const int id : {Ui::kShowThread, Ui::kShowState, Ui::kShowStatus}) check(C(id));
  Click(C(Ui::kProcessStop));
  ASSERT_TRUE(WaitForResults(2));
  for (const int id : {WinResultsForm::kShowResult, WinResultsForm::kResults, WinResultsForm::kLegend})
    check(results->ControlById(id));
}

TEST_F(WinFormTest, AtOneHundredFiftyAndTwoHundredPercentNoControlsTextIsWiderThanTheControl) {
  Test(1, LongRoute());
  ASSERT_TRUE(WaitForResults());
  EndedRun ended;
  ended.results.banner.word = "SOME ROUTES FAILED";
  ended.results.lines = {{ResultLine::Kind::Route, {"    25", "G1", "failed"}, true}};
  ended.results.legend = "0 is best; 25 or more marks a route that failed, and this legend wraps where it must.";
  results->Fill(ended);
  struct Fit {
    HWND control;
    int extra;  // what the control draws beside its text: a radio's circle, a button's edges
  };
  for (const UINT dpi : {96u, 144u, 192u}) {
    // What the system sends when a window has moved to a monitor of `dpi`.
    for (const auto& [window, size] : {std::pair{form->Window(), SIZE{621, 464}}, std::pair{results->Window(), SIZE{459, 280}}}) {
      RECT suggested{0, 0, Scale(size.cx, dpi), Scale(size.cy, dpi)};
      SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    const int radio = MulDiv(GetSystemMetrics(SM_CXMENUCHECK), static_cast<int>(dpi), 96) + Scale(4, dpi);
    const int edges = Scale(6, dpi);
    std::vector<Fit> fits = {{C(Ui::kWelcomeNext), edges}, {C(Ui::kWelcomeClose), edges}, {C(Ui::kServerLabel), 0},
                             {C(Ui::kPortLabel), 0},        {C(Ui::kRouteCodeLabel), 0},  {C(Ui::kSelectBack), edges},
                             {C(Ui::kSelectNext), edges},   {C(Ui::kSelectClose), edges}, {C(Ui::kProcessBack), edges},
                             {C(Ui::kProcessTest), edges},  {C(Ui::kProcessStop), edges}, {C(Ui::kProcessClose), edges},
                             {C(Ui::kShowThread), 0}};
    for (int i = 0; i < Ui::kItemCount; ++i) fits.push_back({C(Ui::kSelectItem0 + i), radio});
    for (const int id : {WinResultsForm::kSaveReport, WinResultsForm::kHistory, WinResultsForm::kCopyAll,
                         WinResultsForm::kClose})
      fits.push_back({results->ControlById(id), edges});
    fits.push_back({results->ControlById(WinResultsForm::kShowResult), 0});
    for (const Fit& f : fits) {
      RECT r{};
      GetWindowRect(f.control, &r);
      EXPECT_LE(TextWidthIn(f.control, WindowText(f.control)) + f.extra, r.right - r.left)
          << dpi << " dpi: " << Utf8(WindowText(f.control));
    }
    // The welcome text's lines, and the legend's wrapped lines, whole.
    HWND welcome = C(Ui::kWelcomeText);
    RECT w{};
    GetClientRect(welcome, &w);
    std::wstring all = WindowText(welcome);
    for (std::size_t at = 0; at < all.size();) {
      const std::size_t end = std::min(all.find(L"\r\n", at), all.size());
      EXPECT_LE(TextWidthIn(welcome, all.substr(at, end - at)), w.right) << dpi;
      at = end + 2;
    }
    HWND legend = results->ControlById(WinResultsForm::kLegend);
    RECT l{};
    GetClientRect(legend, &l);
    HDC dc = GetDC(legend);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(legend, WM_GETFONT, 0, 0)));
    RECT need{0, 0, l.right, 0};
    const std::wstring legend_text = WindowText(legend);
    DrawTextW(dc, legend_text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(legend, dc);
    EXPECT_LE(need.bottom, l.bottom) << dpi << " dpi: the legend's last line";
  }
}

TEST_F(WinFormTest, NothingStaleAfterBackAResizeAMaximizeOrTheResultsWindowGrowingAndShrinking) {
  Test(1, Running());
  ASSERT_TRUE(PumpUntil([&] {
    form->tmrProcessTimer();
    return !Text(C(Ui::kShowStatus)).empty();
  }, 5000));
  Pump(300);
  Click(C(Ui::kProcessBack));
  ExpectNothingStale(form->Window(), "after Back");
  // Inside the group box, where no control lies, only its face shows.
  {
    HWND group = C(Ui::kSelectGroup);
    const RECT g = ScreenRect(group);
    const Pixels seen = OnScreen(group);
    const int inset = Scale(10, DpiOf(group)), top = Scale(24, DpiOf(group));
    std::vector<RECT> covered;
    for (HWND c : VisibleChildren(form->Window()))
      if (c != group) covered.push_back(ScreenRect(c));
    int stray = 0;
    for (int y = g.top + top; y < g.bottom - inset; ++y)
      for (int x = g.left + inset; x < g.right - inset; ++x) {
        const POINT p{x, y};
        if (std::any_of(covered.begin(), covered.end(), [&](const RECT& r) { return PtInRect(&r, p); })) continue;
        if (seen[static_cast<std::size_t>((y - g.top) * (g.right - g.left) + (x - g.left))] != GetSysColor(COLOR_BTNFACE)) ++stray;
      }
    EXPECT_EQ(stray, 0) << "pixels of the process page left in the group box";
  }
  Click(C(Ui::kSelectNext));
  SetWindowPos(form->Window(), nullptr, 20, 20, 700, 520, SWP_NOZORDER);
  ExpectNothingStale(form->Window(), "after a resize");
  ShowWindow(form->Window(), SW_MAXIMIZE);
  ExpectNothingStale(form->Window(), "after a maximize");
  ShowWindow(form->Window(), SW_RESTORE);
  Click(C(Ui::kProcessStop));
  ASSERT_TRUE(WaitForResults());

  results->Fill(form->Session().LastEnded().value());
  ShowWindow(results->Window(), SW_SHOWNOACTIVATE);
  for (const SIZE size : {SIZE{900, 500}, SIZE{480, 300}}) {
    SetWindowPos(results->Window(), nullptr, 10, 10, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    ExpectNothingStale(results->Window(), size.cx > 600 ? "results enlarged" : "results shrunk");
  }
  ShowWindow(results->Window(), SW_HIDE);
}

TEST_F(WinFormTest, NeitherWindowShrinksBelowWhatShowsItsControlsWhole) {
  Choose(1);
  Click(C(Ui::kSelectNext));
  SetWindowPos(form->Window(), nullptr, 0, 0, 170, 100, SWP_NOZORDER | SWP_NOMOVE);
  RECT client{};
  GetClientRect(form->Window(), &client);
  for (const int id : {Ui::kProcessBack, Ui::kProcessTest, Ui::kProcessStop, Ui::kProcessClose, Ui::kTrace}) {
    RECT r{};
    GetWindowRect(C(id), &r);
    MapWindowPoints(nullptr, form->Window(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_GE(r.left, 0) << id;
    EXPECT_LE(r.right, client.right) << id;
    EXPECT_LE(r.bottom, client.bottom) << id;
  }
  RECT trace{};
  GetClientRect(C(Ui::kTrace), &trace);
  EXPECT_GE(trace.bottom, 5 * form->TraceList().LineHeight());

  // The results window keeps its result word, its buttons and a few lines.
  EndedRun ended;
  ended.results.banner.word = "SOME ROUTES FAILED";
  ended.results.lines = {{ResultLine::Kind::Route, {"    25", "G1", "failed"}, true}};
  ended.results.legend = "0 is best.";
  results->Fill(ended);
  SetWindowPos(results->Window(), nullptr, 0, 0, 120, 80, SWP_NOZORDER | SWP_NOMOVE);
  GetClientRect(results->Window(), &client);
  HWND banner = results->ControlById(WinResultsForm::kShowResult);
  RECT b{};
  GetWindowRect(banner, &b);
  EXPECT_LE(TextWidthIn(banner, WindowText(banner)), b.right - b.left);
  for (const int id : {WinResultsForm::kSaveReport, WinResultsForm::kHistory, WinResultsForm::kCopyAll, WinResultsForm::kClose}) {
    RECT r{};
    GetWindowRect(results->ControlById(id), &r);
    MapWindowPoints(nullptr, results->Window(), reinterpret_cast<POINT*>(&r), 2);
    EXPECT_GE(r.left, b.right - b.left) << id;
    EXPECT_LE(r.right, client.right) << id;
  }
  RECT list{};
  GetClientRect(results->ControlById(WinResultsForm::kResults), &list);
  EXPECT_GE(list.bottom, 3 * SendMessageW(results->ControlById(WinResultsForm::kResults), LB_GETITEMHEIGHT, 0, 0));
}

TEST_F(WinFormTest, EscNeverClosesTheMainWindowEvenDuringATest) {
  Test(1, Running());
  for (const int page : {0, 1}) {
    if (page == 1) Click(C(Ui::kProcessBack));
    HWND focus = GetFocus() != nullptr ? GetFocus() : C(Ui::kProcessTest);
    MSG key{focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001};
    WinInvoker::Dispatch(key);
    Pump(100);
    EXPECT_FALSE(form->Closed()) << page;
    EXPECT_TRUE(Visible(form->Window())) << page;
  }
  EXPECT_TRUE(form->Session().Running());
}

TEST_F(WinFormTest, LongResultLinesScrollSidewaysAndALaterTestStartsFromTheWindowsOwnWidth) {
  Test(1, LongRoute());
  ASSERT_TRUE(WaitForResults());
  HWND list = results->ControlById(WinResultsForm::kResults);
  const EndedRun long_one = form->Session().LastEnded().value();
  results->Fill(long_one);
  RECT frame{};
  GetWindowRect(results->Window(), &frame);
  const int wide = frame.right - frame.left;
  // The route alone is wider than the list could be on this screen: it scrolls sideways,
  // far enough to reach the end of its line.
  const std::wstring longest = shown[0].lines[2];
  EXPECT_GE(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), TextWidthIn(list, longest.substr(longest.find(L'\t'))));

  EndedRun short_one = long_one;
  short_one.results.lines.resize(2);
  results->Fill(short_one);
  GetWindowRect(results->Window(), &frame);
  EXPECT_LT(frame.right - frame.left, wide);
}

}  // namespace
}  // namespace zp::test
