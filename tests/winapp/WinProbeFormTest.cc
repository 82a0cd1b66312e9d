// The wizard's pages, controls and field filling, driven by their messages.
#include <gtest/gtest.h>

#include <cwchar>

#include <cstdlib>
#include <string>

#include "WinFormFixture.h"
#include "winapp/WinText.h"

namespace zp::test {
namespace {

std::wstring Wide(const char* text) { return std::wstring(text, text + std::char_traits<char>::length(text)); }

LRESULT DefaultId(HWND window) { return LOWORD(SendMessageW(window, DM_GETDEFID, 0, 0)); }

TEST_F(WinFormTest, PagesFollowTheButtonsWithTheirTextsAndDefaults) {
  EXPECT_EQ(Text(form->Window()), L"Zelvan Probe");
  EXPECT_EQ(form->CurrentPage(), Ui::Page::Welcome);
  EXPECT_TRUE(Visible(C(Ui::kWelcomeText)));
  EXPECT_EQ(Text(C(Ui::kWelcomeText)),
            L"Welcome to Zelvan Probe.\r\n\r\n\r\nThis tool is used to verify communication between your site and \r\n"
            L"Zelvan across the Internet.\r\n\r\nPlease press the Next button below to select which product you wish\r\n"
            L"to verify.");
  EXPECT_EQ(Text(C(Ui::kWelcomeNext)), L"Ne&xt");
  EXPECT_EQ(Text(C(Ui::kWelcomeClose)), L"Close");
  EXPECT_EQ(DefaultId(form->Window()), Ui::kWelcomeNext);
  EXPECT_FALSE(Visible(C(Ui::kSelectGroup)));

  Click(C(Ui::kWelcomeNext));
  EXPECT_EQ(form->CurrentPage(), Ui::Page::Select);
  EXPECT_FALSE(Visible(C(Ui::kWelcomeText)));
  EXPECT_EQ(Text(C(Ui::kSelectGroup)), L" Available Items ");
  EXPECT_EQ(Text(C(Ui::kSelectItem0)), L"Connect to Corvalink(tm) via Internet using Normal Route");
  EXPECT_EQ(Text(C(Ui::kSelectItem1)), L"Connect to Corvalink(tm) via Internet using Other Route");
  EXPECT_EQ(Text(C(Ui::kSelectItem2)), L"Connect to Corvalink(tm) via WAN using Other Route");
  for (int i = 0; i < Ui::kItemCount; ++i) EXPECT_FALSE(Checked(C(Ui::kSelectItem0 + i))) << i;
  EXPECT_EQ(Text(C(Ui::kServerLabel)), L"Server");
  EXPECT_EQ(Text(C(Ui::kPortLabel)), L"Port (in hex)");
  EXPECT_EQ(Text(C(Ui::kRouteCodeLabel)), L"Route Code");
  EXPECT_EQ(Text(C(Ui::kRouteCode)), L"A");
  EXPECT_EQ(Text(C(Ui::kSelectBack)), L"&Back");
  EXPECT_EQ(DefaultId(form->Window()), Ui::kSelectNext);
  EXPECT_FALSE(Enabled(C(Ui::kSelectNext)));
  Click(C(Ui::kSelectNext));  // disabled: stays
  EXPECT_EQ(form->CurrentPage(), Ui::Page::Select);

  Click(C(Ui::kSelectBack));
  EXPECT_EQ(form->CurrentPage(), Ui::Page::Welcome);
  Choose(1);
  EXPECT_TRUE(Enabled(C(Ui::kSelectNext)));
  Click(C(Ui::kSelectNext));
  EXPECT_EQ(form->CurrentPage(), Ui::Page::Process);
  EXPECT_EQ(Text(C(Ui::kShowThread)), L"Press Test to Begin");
  EXPECT_EQ(Text(C(Ui::kShowState)), L"");
  EXPECT_EQ(Text(C(Ui::kShowStatus)), L"");
  EXPECT_EQ(Text(C(Ui::kProcessBack)), L"&Back");
  EXPECT_EQ(Text(C(Ui::kProcessTest)), L"&Test");
  EXPECT_EQ(Text(C(Ui::kProcessStop)), L"&Stop");
  EXPECT_EQ(Text(C(Ui::kProcessClose)), L"Close");
  EXPECT_FALSE(Enabled(C(Ui::kProcessStop)));
  EXPECT_FALSE(form->PollTimerOn());
  EXPECT_EQ(DefaultId(form->Window()), Ui::kProcessTest);
  // The trace list holds only a count and draws its lines from the window's trace.
  EXPECT_EQ(GetWindowLongPtrW(C(Ui::kTrace), GWL_STYLE) & (LBS_NODATA | LBS_OWNERDRAWFIXED),
            LBS_NODATA | LBS_OWNERDRAWFIXED);
  Click(C(Ui::kProcessBack));
  EXPECT_EQ(form->CurrentPage(), Ui::Page::Select);
  EXPECT_TRUE(Checked(C(Ui::kSelectItem1)));
}

TEST_F(WinFormTest, EnterPressesThePagesDefaultButtonAndAltALetterItsButton) {
  struct Key {
    int focus;  // the control with the keyboard focus
    UINT message;
    WPARAM key;
    Ui::Page then;
  };
  Choose(0);
  const Key keys[] = {
      {Ui::kServer, WM_KEYDOWN, VK_RETURN, Ui::Page::Process},   // Next, from an edit
      {Ui::kTrace, WM_SYSCHAR, L'b', Ui::Page::Select},          // &Back
      {Ui::kPort, WM_SYSCHAR, L'b', Ui::Page::Welcome},          // &Back
      {Ui::kWelcomeText, WM_KEYDOWN, VK_RETURN, Ui::Page::Select},  // Ne&xt
      {Ui::kRouteCode, WM_SYSCHAR, L'x', Ui::Page::Process},     // Ne&xt
  };
  for (const Key& k : keys) {
    SetFocus(C(k.focus));
    PostMessageW(C(k.focus), k.message, k.key, k.message == WM_SYSCHAR ? (1 << 29) : 0);
    EXPECT_TRUE(PumpUntil([&] { return form->CurrentPage() == k.then; }, 2000)) << k.focus;
  }
}

TEST_F(WinFormTest, AMoveToAMonitorOfAnotherDpiScalesTheWindowItsControlsAndFonts) {
  Choose(1);
  Click(C(Ui::kSelectNext));
  int last_font = 0;
  for (const UINT dpi : {96u, 120u, 144u}) {  // each fits the tests' 1024 x 768 screen
    // What the system sends when the window has moved to a monitor of `dpi`.
    RECT suggested{40, 30, 40 + MulDiv(621, static_cast<int>(dpi), 96), 30 + MulDiv(464, static_cast<int>(dpi), 96)};
    SendMessageW(form->Window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    RECT frame{}, button{};
    GetWindowRect(form->Window(), &frame);
    GetWindowRect(C(Ui::kProcessTest), &button);
    EXPECT_EQ(frame.right - frame.left, suggested.right - suggested.left) << dpi;
    EXPECT_EQ(frame.bottom - frame.top, suggested.bottom - suggested.top) << dpi;
    EXPECT_EQ(button.right - button.left, MulDiv(67, static_cast<int>(dpi), 96)) << dpi;
    EXPECT_EQ(button.bottom - button.top, MulDiv(27, static_cast<int>(dpi), 96)) << dpi;
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(C(Ui::kTrace), WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_GT(std::abs(font.lfHeight), last_font) << dpi;
    last_font = std::abs(font.lfHeight);
    EXPECT_GT(form->TraceList().LineHeight(), 0);
  }
}

struct FillCase {
  int item;
  std::wstring server, port, route;
};

TEST_F(WinFormTest, EachWayOfConnectingFillsItsFieldsOverWhatWasTyped) {
  const FillCase cases[] = {
      {0, Wide(ZP_DEFAULT_ROUTE_HOST), L"6900", L"A"},
      {1, L"", L"6900", L""},
      {2, Wide(ZP_DEFAULT_WAN_ADDRESSES), L"6900", L"H"},
      {0, Wide(ZP_DEFAULT_ROUTE_HOST), L"6900", L"A"},
  };
  Click(C(Ui::kWelcomeNext));
  for (const FillCase& c : cases) {
    SetText(C(Ui::kServer), L"typed.example");
    SetText(C(Ui::kPort), L"1234");
    SetText(C(Ui::kRouteCode), L"Q");
    Click(C(Ui::kSelectItem0 + c.item));
    EXPECT_TRUE(Checked(C(Ui::kSelectItem0 + c.item))) << c.item;
    EXPECT_EQ(Text(C(Ui::kServer)), c.server) << c.item;
    EXPECT_EQ(Text(C(Ui::kPort)), c.port) << c.item;
    EXPECT_EQ(Text(C(Ui::kRouteCode)), c.route) << c.item;
  }
  // Choosing the item already chosen changes nothing.
  SetText(C(Ui::kServer), L"kept.example");
  Click(C(Ui::kSelectItem0));
  EXPECT_EQ(Text(C(Ui::kServer)), L"kept.example");
}

TEST_F(WinFormTest, PortAndRouteCodeTakeAtMostFourAndOneCharacters) {
  Choose(1);
  Type(C(Ui::kPort), L"69001");
  EXPECT_EQ(Text(C(Ui::kPort)), L"6900");
  Type(C(Ui::kRouteCode), L"HX");
  EXPECT_EQ(Text(C(Ui::kRouteCode)), L"H");
}

struct SettingsCase {
  const char* name;
  int item;
  std::wstring port, route;
  std::int32_t want_port;
  std::string want_letter;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class WinSettingsTest : public WinFormTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(WinSettingsTest, TheWorkerGetsTheTypedSettings) {
  const SettingsCase& c = GetParam();
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) { w.AddRoute("G1=1.1.1.1:1", 0); };
  factory.script = script;
  factory.script.alive = alive;
  form->SetWorkerFactory(factory.Make());
  Choose(c.item);
  SetText(C(Ui::kServer), L"10.0.0.9");
  SetText(C(Ui::kPort), c.port);
  SetText(C(Ui::kRouteCode), c.route);
  Click(C(Ui::kSelectNext));
  Click(C(Ui::kProcessTest));
  ASSERT_EQ(factory.made->size(), 1u);
  const MadeWorker& made = factory.made->front();
  EXPECT_EQ(made.name, "ExpressT");
  EXPECT_EQ(made.settings.server, "10.0.0.9");
  EXPECT_EQ(made.settings.port, c.want_port);
  EXPECT_EQ(made.settings.route_code, c.want_letter);
  // The test's separator line heads its trace lines.
  ASSERT_FALSE(Trace().empty());
  EXPECT_EQ(Trace().front().rfind(L"Test 1 started ", 0), 0u) << Utf8(Trace().front());
  wchar_t port[16];
  std::swprintf(port, 16, L"%X", static_cast<unsigned>(c.want_port));
  EXPECT_NE(Trace().front().find(L" \u2014 10.0.0.9:" + std::wstring(port) + L", route code "), std::wstring::npos);
  ASSERT_TRUE(WaitForResults());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, WinSettingsTest,
    ::testing::Values(SettingsCase{"NormalRouteAlwaysAsksForA", 0, L"6900", L"H", 26880, "A"},
                      SettingsCase{"OtherRouteTakesTheTypedLetter", 1, L"6900", L"H", 26880, "H"},
                      SettingsCase{"EmptyRouteCodeGivesA", 2, L"6900", L"", 26880, "A"},
                      SettingsCase{"LowerCaseHex", 1, L"ffff", L"B", 65535, "B"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WinFormTest, AnEmptyServerOrABadPortIsNamedAndNothingStarts) {
  struct Case {
    const wchar_t *server, *port, *text;
    int field;
  };
  const Case cases[] = {
      {L"", L"6900", L"Type the route server's name or address in the Server box.", Ui::kServer},
      {L"h", L"ZZ12", L"The port \"ZZ12\" is not a port: type 1 to FFFF in hexadecimal digits (0-9, A-F).", Ui::kPort},
  };
  for (const Case& c : cases) {
    boxes.clear();
    Choose(1);
    SetText(C(Ui::kServer), c.server);
    SetText(C(Ui::kPort), c.port);
    Click(C(Ui::kSelectNext));
    Click(C(Ui::kProcessTest));
    ASSERT_TRUE(PumpUntil([&] { return !boxes.empty(); }, 5000));
    EXPECT_EQ(boxes[0].dialog.title, L"Zelvan Probe");
    EXPECT_NE(boxes[0].dialog.text.find(c.text), std::wstring::npos) << Utf8(boxes[0].dialog.text);
    ASSERT_TRUE(PumpUntil([&] { return form->CurrentPage() == Ui::Page::Select; }, 5000));
    EXPECT_EQ(GetFocus(), C(c.field));
  }
  EXPECT_TRUE(factory.made->empty());
}

}  // namespace
}  // namespace zp::test
