// Whole tests through the native window with the real probe worker against the
// in-process simulated gateway on loopback: one for each banner, a stopped one included,
// with the results window's lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "GatewaySimulator.h"
#include "WinDriver.h"
#include "platform/Tick.h"
#include "winapp/WinProbeForm.h"
#include "winapp/WinResultsForm.h"
#include "winapp/WinText.h"

namespace zp::test {
namespace {

using sim::LoginReplyConfig;
using sim::RouteConfig;
using Ui = WinProbeFormUi;

struct Outcome {
  std::wstring status_banner;
  std::wstring results_banner;
  std::vector<std::wstring> result_lines;
  std::wstring key_note;
};

bool StartsWith(const std::wstring& text, const std::wstring& head) { return text.rfind(head, 0) == 0; }
bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class WinEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitControls();
    testing::SetTimeScale(5.0);
  }
  void TearDown() override { testing::ResetClock(); }

  static RouteConfig Refusing(const char* name, char mode) {
    RouteConfig r;
    r.name = name;
    LoginReplyConfig& login = mode == 'P' ? r.profile_login : r.key_login;
    login.kind = LoginReplyConfig::Kind::Refuse;
    login.status = 17;
    login.text = "Access denied";
    return r;
  }

  // One test through the window: the second way of connecting, the simulator's route
  // server typed in, Test (and Stop once `stop_when` holds), then the results window.
  Outcome RunThroughWindow(const std::vector<RouteConfig>& routes,
                           const std::function<bool(WinProbeForm&)>& stop_when = nullptr) {
    sim::GatewaySimulator gateway;
    sim::RouteServerConfig server;
    server.port = 0;
    const std::uint16_t port = gateway.AddRouteServer(server);
    for (const RouteConfig& r : routes) gateway.AddRoute(r);
    gateway.Start();

    WinProbeForm form;
    WinResultsForm results(form.Window());
    form.SetResultsForm(&results);
    ShowWindow(form.Window(), SW_SHOW);
    Outcome out;
    bool shown = false;
    ThreadTicker watcher([&] {
      if (!results.IsShowing() || shown) return;
      out.results_banner = results.Banner();
      out.result_lines = results.Lines();
      out.key_note = results.KeyNote();
      shown = true;
      Click(results.ControlById(WinResultsForm::kClose));
    });

    Click(form.Control(Ui::kWelcomeNext));
    Click(form.Control(Ui::kSelectItem1));
    SetText(form.Control(Ui::kServer), L"127.0.0.1");
    wchar_t port_text[8];
    std::swprintf(port_text, 8, L"%X", static_cast<unsigned>(port));
    SetText(form.Control(Ui::kPort), port_text);
    Click(form.Control(Ui::kSelectNext));
    Click(form.Control(Ui::kProcessTest));
    bool stopped = false;
    EXPECT_TRUE(PumpUntil(
        [&] {
          if (stop_when && !stopped && stop_when(form)) {
            Click(form.Control(Ui::kProcessStop));
            stopped = true;
          }
          return shown;
        },
        60000))
        << "no results window";
    Pump(50);
    out.status_banner = Text(form.Control(Ui::kShowThread));
    return out;
  }
};

TEST_F(WinEndToEndTest, HealthyGatewayEndsInSuccess) {
  const Outcome o = RunThroughWindow({RouteConfig{.name = "r1"}, RouteConfig{.name = "r2"}});
  EXPECT_EQ(o.status_banner, L"S U C C E S S");
  EXPECT_EQ(o.results_banner, L"SUCCESS");
  ASSERT_EQ(o.result_lines.size(), 5u);  // nothing to check next
  EXPECT_EQ(o.key_note, L"");
  EXPECT_EQ(o.result_lines[0], L"Score\tRoute\tChange\tOutcome");
  EXPECT_TRUE(StartsWith(o.result_lines[1], L"     0\tr1=127.0.0.1:"));
  EXPECT_TRUE(EndsWith(o.result_lines[1], L"\tall 25 detail records arrived"));
  EXPECT_TRUE(StartsWith(o.result_lines[2], L"     0\tr2=127.0.0.1:"));
  EXPECT_TRUE(StartsWith(o.result_lines[4], L"Public key: received"));
}

TEST_F(WinEndToEndTest, OneRouteRefusingProfilingEndsInSomeRoutesFailed) {
  const Outcome o = RunThroughWindow({RouteConfig{.name = "r1"}, Refusing("r2", 'P')});
  EXPECT_EQ(o.status_banner, L"S O M E   R O U T E S   F A I L E D");
  EXPECT_EQ(o.results_banner, L"SOME ROUTES FAILED");
  ASSERT_EQ(o.result_lines.size(), 8u);
  EXPECT_TRUE(StartsWith(o.result_lines[1], L"     0\tr1="));
  EXPECT_TRUE(StartsWith(o.result_lines[2], L"    25\tr2="));
  EXPECT_NE(o.result_lines[2].find(L"\tlogin refused: "), std::wstring::npos);
  EXPECT_EQ(o.result_lines[6], L"What to check next:");
  EXPECT_TRUE(StartsWith(o.result_lines[7], L"    r2 \u2014 ")) << o.result_lines[7];
}

TEST_F(WinEndToEndTest, NoRouteServingAnythingEndsInFailure) {
  RouteConfig r = Refusing("r1", 'P');
  r.key_login = Refusing("r1", 'K').key_login;
  const Outcome o = RunThroughWindow({r});
  EXPECT_EQ(o.status_banner, L"F A I L U R E");
  EXPECT_EQ(o.results_banner, L"FAILURE");
  ASSERT_GE(o.result_lines.size(), 7u);
  EXPECT_TRUE(StartsWith(o.result_lines[1], L"    25\tr1="));
  EXPECT_TRUE(StartsWith(o.result_lines[3], L"Public key: not received"));
  EXPECT_EQ(o.result_lines[5], L"What to check next:");
  // The key's failure also stands beside the result, not only among the routes.
  EXPECT_TRUE(StartsWith(o.key_note, L"Public key not received")) << Utf8(o.key_note);
}

TEST_F(WinEndToEndTest, StopWhileAGatewayIsSilentEndsStopped) {
  RouteConfig quiet{.name = "r2"};
  quiet.profile_login.kind = LoginReplyConfig::Kind::Silent;
  const Outcome o = RunThroughWindow({RouteConfig{.name = "r1"}, quiet}, [](WinProbeForm& form) {
    form.tmrProcessTimer();
    const ZProbeRun* run = form.CurrentRun();
    return run != nullptr && run->Snapshot().current_route == 2;
  });
  EXPECT_EQ(o.status_banner, L"S T O P P E D");
  EXPECT_EQ(o.results_banner, L"STOPPED");
  ASSERT_GE(o.result_lines.size(), 3u);
  EXPECT_TRUE(StartsWith(o.result_lines[1], L"     0\tr1="));
  // The route the stop cut short has no score and says what it was doing.
  EXPECT_TRUE(StartsWith(o.result_lines[2], L"     \u2014\tr2="));
  EXPECT_NE(o.result_lines[2].find(L"\tnot scored \u2014 stopped while "), std::wstring::npos);
}

}  // namespace
}  // namespace zp::test
