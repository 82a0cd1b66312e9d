#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "session/ResultLines.h"
#include "run/RunWords.h"

namespace zp::test {
namespace {

struct Route {
  std::string entry;
  std::int32_t score;
};

class ResultsFormTest : public ::testing::Test {
 protected:
  // Runs ShowResults on a finished run with `code` and `routes`, reading the window while
  // it is up and closing it with its button.
  void Show(std::int32_t code, const std::vector<Route>& routes) {
    RunSnapshot run;
    run.finished = true;
    run.result_code = code;
    for (const Route& r : routes) {
      RouteResult result;
      result.entry = r.entry;
      result.score = r.score;
      result.outcome = RouteOutcome::Scored;
      run.routes.push_back(result);
    }
    Show(run);
  }
  void Show(const RunSnapshot& run, const std::function<void()>& while_up = {}) {
    bool was_modal = false;
    ModalWatcher watcher([&](QWidget* modal) {
      was_modal = modal == &form;
      banner = label()->text();
      lines = Lines(*box());
      legend = form.findChild<QLabel*>("lblLegend")->text();
      if (while_up) while_up();
      QTest::mouseClick(form.findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    });
    EndedRun ended;
    ended.run = run;
    ended.results = MakeResults(run, false, std::nullopt);
    form.ShowResults(ended);
    EXPECT_TRUE(was_modal);
    EXPECT_EQ(form.windowTitle(), "Results");
    EXPECT_FALSE(form.isVisible());
  }
  QLabel* label() { return form.findChild<QLabel*>("lblShowResult"); }
  ZTabListBox* box() { return form.findChild<ZTabListBox*>("tlbResults"); }

  TfrmResults form;
  QString banner, legend;
  QStringList lines;
};

TEST_F(ResultsFormTest, EachCodeShowsItsWordAndOneLinePerRoute) {
  Show(2, {{"Gateway1=10.0.0.1:26881", 25}, {"Gateway2=10.0.0.2:26881", 7}});
  EXPECT_EQ(banner, "SOME ROUTES FAILED");
  EXPECT_EQ(lines, (QStringList{"Score\tRoute\tOutcome", "    25\tGateway1=10.0.0.1:26881\tall 25 detail records missing",
                                "     7\tGateway2=10.0.0.2:26881\t7 of 25 detail records missing", "",
                                "Public key: not reached"}));
  EXPECT_EQ(legend, QString::fromStdString(ScoreLegend(25)));

  Show(1, {{"G=1.2.3.4:5", 1234567}});  // wider than six digits: not cut
  EXPECT_EQ(banner, "SUCCESS");
  EXPECT_EQ(lines.mid(0, 2), (QStringList{"Score\tRoute\tOutcome",
                                          "1234567\tG=1.2.3.4:5\tbroken answer: 1234567 records reported missing of 25 sent"}));

  Show(0, {});
  EXPECT_EQ(banner, "FAILURE");
  EXPECT_EQ(lines, QStringList{"No route server was asked."});
}

TEST_F(ResultsFormTest, UnknownCodeKeepsTheWordButReplacesTheLines) {
  Show(3, {{"A=1.1.1.1:1", 0}});
  EXPECT_EQ(banner, "<<show result>>");
  EXPECT_EQ(lines[1], "     0\tA=1.1.1.1:1\tall 25 detail records arrived");

  Show(1, {});
  Show(3, {{"B=1.1.1.1:1", 0}});
  EXPECT_EQ(banner, "SUCCESS");
  EXPECT_EQ(lines[1], "     0\tB=1.1.1.1:1\tall 25 detail records arrived");
}

TEST_F(ResultsFormTest, RouteAndOutcomeColumnsLineUpUnderTheirHeadings) {
  Show(1, {{"A=1", 5}, {"Gateway2=192.168.100.200:26881", 999999}, {"C=3", -99999}});
  for (int column : {1, 2}) {
    const qreal heading = ColumnX(*box(), lines[0], column);
    for (const QString& line : lines.mid(1, 3))
      EXPECT_DOUBLE_EQ(ColumnX(*box(), line, column), heading) << column << line.toStdString();
  }
  // The outcome starts after the longest route, not on top of it.
  EXPECT_GT(ColumnX(*box(), lines[2], 2), box()->TextWidth(lines[2].section(u'\t', 0, 1)));
  EXPECT_GE(box()->HorizontalExtent(), box()->TextWidth(lines[2]));
}


TEST_F(ResultsFormTest, TheKeyHasALineOfItsOwn) {
  RunSnapshot run;
  run.finished = true;
  run.result_code = 1;
  run.routes.push_back(RouteResult{.entry = "G=1:2", .outcome = RouteOutcome::Scored});
  run.key = KeyResult{.outcome = KeyOutcome::Received, .bytes = 1184, .seconds = 0.2};
  Show(run);
  EXPECT_EQ(lines.back(), "Public key: received (1184 bytes in 0.20 s)");
  run.key = KeyResult{.outcome = KeyOutcome::Failed, .detail = "no key"};
  Show(run);
  EXPECT_EQ(lines.back(), "Public key: not received: no key");
}

// Without routes the window says which route servers were asked and what each did.
TEST_F(ResultsFormTest, NoRoutesNamesEachServerAskedAndWhatItDid) {
  RunSnapshot run;
  run.finished = true;
  run.servers.push_back(ServerResult{.server = "127.0.0.1", .address = "127.0.0.1", .port = 0x6900,
                                     .outcome = ServerOutcome::ConnectFailed, .error = 10061});
  run.servers.push_back(ServerResult{.server = "routes.example", .address = "10.1.2.3", .port = 0x6900,
                                     .outcome = ServerOutcome::NotOk, .detail = "BUSY\x07"});
  run.servers.push_back(ServerResult{.server = "nowhere.example", .port = 0x6900,
                                     .outcome = ServerOutcome::LookupFailed});
  Show(run);
  const QString dash = QString::fromUtf8(" \u2014 ");
  EXPECT_EQ(lines, (QStringList{"No route server gave a route. Route servers asked:",
                                "    127.0.0.1:6900" + dash + "refused the connection",
                                "    routes.example:6900 (10.1.2.3)" + dash + "answered without OK: \"BUSY\\x07\"",
                                "    nowhere.example:6900" + dash +
                                    QString::fromStdString(ServerReason(run.servers[2]))}));
  EXPECT_EQ(legend, "");  // no scores, nothing to explain
}

TEST_F(ResultsFormTest, ResultsCopyByLineByMenuAndByButton) {
  QString selected, all, button;
  RunSnapshot run;
  run.finished = true;
  run.result_code = 2;
  run.routes.push_back(RouteResult{.entry = "G1=1:2", .outcome = RouteOutcome::Scored});
  run.routes.push_back(RouteResult{.entry = "G2=1:2", .score = 25, .outcome = RouteOutcome::NoHeartbeat});
  Show(run, [&] {
    box()->setFocus();
    box()->SetItemIndex(2);
    QTest::keyClick(box(), Qt::Key_C, Qt::ControlModifier);
    selected = QGuiApplication::clipboard()->text();
    box()->findChild<QAction*>("actCopyAll")->trigger();
    all = QGuiApplication::clipboard()->text();
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(form.findChild<QPushButton*>("btnCopyAll"), Qt::LeftButton);
    button = QGuiApplication::clipboard()->text();
  });
  EXPECT_EQ(selected, "    25\tG2=1:2\tno heartbeat within 5 s");
  EXPECT_EQ(all, "SOME ROUTES FAILED\n" + lines.join(u'\n') + "\n" + legend + "\n");
  EXPECT_EQ(button, all);
}

// A route text comes from the network: what is no text is shown escaped, never as layout.
TEST_F(ResultsFormTest, ControlsAndBytesThatAreNoTextShowEscaped) {
  Show(1, {{std::string("R\xE9=1\x7F\x1B[2J", 9), 3}});
  EXPECT_EQ(lines[1], QString::fromLatin1("     3\tR\\xE9=1\\x7F\\x1B[2J\t3 of 25 detail records missing"));
}

}  // namespace
}  // namespace zp::test
