// Whole tests through the window with the real probe worker against the simulated
// gateway on loopback, one for each result.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "AppTestSupport.h"
#include "GatewaySimulator.h"
#include "app/ProbeForm.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "platform/Tick.h"

namespace zp::test {
namespace {

using sim::LoginReplyConfig;
using sim::RouteConfig;

struct Outcome {
  QString status_banner;
  QString results_banner;
  QStringList result_lines;
};

class WindowEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::SetTimeScale(5.0); }
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

  // Runs one test through the window: the second way of connecting, the simulator's
  // route server typed in, Test, then the results window.
  Outcome RunThroughWindow(const std::vector<RouteConfig>& routes) {
    sim::GatewaySimulator gateway;
    sim::RouteServerConfig server;
    server.port = 0;
    const std::uint16_t port = gateway.AddRouteServer(server);
    for (const RouteConfig& r : routes) gateway.AddRoute(r);
    gateway.Start();

    TfrmProbe form;
    TfrmResults results;
    form.SetResultsForm(&results);
    form.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
    Outcome out;
    bool shown = false;
    ModalWatcher watcher([&](QWidget* modal) {
      if (modal != &results) return;
      out.results_banner = results.findChild<QLabel*>("lblShowResult")->text();
      out.result_lines = Lines(*results.findChild<ZTabListBox*>("tlbResults"));
      shown = true;
      QTest::mouseClick(results.findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    });

    form.findChild<QPushButton*>("btnWelcomeNext")->click();
    auto* radio = form.findChild<QRadioButton*>("rgSelectItem1");
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
    form.findChild<QLineEdit*>("edServer")->setText("127.0.0.1");
    form.findChild<QLineEdit*>("edPort")->setText(QString::number(port, 16).toUpper());
    form.findChild<QPushButton*>("btnSelectNext")->click();
    form.findChild<QPushButton*>("btnProcessTest")->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown; }, 30000)) << "no results window";
    QTest::qWait(50);
    out.status_banner = form.findChild<QLabel*>("lblShowThreadDescription")->text();
    return out;
  }
};

TEST_F(WindowEndToEndTest, HealthyGatewayEndsInSuccess) {
  const Outcome o = RunThroughWindow({RouteConfig{.name = "r1"}, RouteConfig{.name = "r2"}});
  EXPECT_EQ(o.status_banner, "S U C C E S S");
  EXPECT_EQ(o.results_banner, "SUCCESS");
  ASSERT_EQ(o.result_lines.size(), 5);
  EXPECT_EQ(o.result_lines[0], "Score\tRoute\tChange\tOutcome");
  EXPECT_TRUE(o.result_lines[1].endsWith("\tall 25 detail records arrived")) << o.result_lines[1].toStdString();
  EXPECT_TRUE(o.result_lines[1].startsWith("     0\tr1=127.0.0.1:")) << o.result_lines[1].toStdString();
  EXPECT_TRUE(o.result_lines[2].startsWith("     0\tr2=127.0.0.1:"));
}

TEST_F(WindowEndToEndTest, OneRouteRefusingProfilingEndsInSomeRoutesFailed) {
  const Outcome o = RunThroughWindow({RouteConfig{.name = "r1"}, Refusing("r2", 'P')});
  EXPECT_EQ(o.status_banner, "S O M E   R O U T E S   F A I L E D");
  EXPECT_EQ(o.results_banner, "SOME ROUTES FAILED");
  ASSERT_EQ(o.result_lines.size(), 5);
  EXPECT_TRUE(o.result_lines[1].startsWith("     0\tr1="));
  EXPECT_TRUE(o.result_lines[2].startsWith("    25\tr2="));
  EXPECT_TRUE(o.result_lines[2].contains("\tlogin refused: ")) << o.result_lines[2].toStdString();
}

TEST_F(WindowEndToEndTest, NoRouteServingAnythingEndsInFailure) {
  RouteConfig r = Refusing("r1", 'P');
  r.key_login = Refusing("r1", 'K').key_login;
  const Outcome o = RunThroughWindow({r});
  EXPECT_EQ(o.status_banner, "F A I L U R E");
  EXPECT_EQ(o.results_banner, "FAILURE");
  ASSERT_EQ(o.result_lines.size(), 4);
  EXPECT_TRUE(o.result_lines[1].startsWith("    25\tr1="));
  EXPECT_TRUE(o.result_lines[3].startsWith("Public key: not received")) << o.result_lines[3].toStdString();
}

}  // namespace
}  // namespace zp::test
