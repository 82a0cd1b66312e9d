#include <gtest/gtest.h>

#include "ProbeFormFixture.h"

namespace zp::test {
namespace {

// --- outcomes ---

struct OutcomeCase {
  const char* name;
  std::int32_t code;
  const char* banner;
  const char* word;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

class ProbeOutcomeTest : public ProbeFormTest, public ::testing::WithParamInterface<OutcomeCase> {};

TEST_P(ProbeOutcomeTest, BannerAndResultsWindowFollowTheResultCode) {
  const OutcomeCase c = GetParam();
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.AddRoute("Gateway1=127.0.0.1:26881", 25);
    w.AddRoute("Gateway2=127.0.0.2:26881", 25);
  };
  script.profile = [code = c.code](FakeWorker& w) {
    w.Trace("profiled");
    w.SetStatusText("Profiling done");
    w.SetResultCode(code);
  };
  Watch();
  Test(1, script);
  {
    ASSERT_TRUE(WaitForResults());
    EXPECT_EQ(shown[0].banner, c.word);
    EXPECT_EQ(shown[0].lines.mid(0, 3),
              (QStringList{"Score\tRoute\tChange\tOutcome",
                           QString::fromUtf8("     \u2014\tGateway1=127.0.0.1:26881\t\u2014\tnot scored \u2014 not tried"),
                           QString::fromUtf8("     \u2014\tGateway2=127.0.0.2:26881\t\u2014\tnot scored \u2014 not tried")}));
    EXPECT_EQ(Label("lblShowThreadDescription"), c.banner);
    // The banner stands out by more than colour: bold, larger, and an icon beside it.
    const QFont font = Find<QLabel>("lblShowThreadDescription")->font();
    EXPECT_TRUE(font.bold());
    EXPECT_GT(QFontInfo(font).pixelSize(), QFontInfo(Find<QLabel>("lblShowStatusText")->font()).pixelSize());
    EXPECT_FALSE(Find<QLabel>("lblResultIcon")->isHidden());
    EXPECT_FALSE(Find<QLabel>("lblResultIcon")->pixmap().isNull());
  }
  EXPECT_EQ(form->ResultCode(), c.code);
  EXPECT_EQ(Label("lblShowStateDescription"), "");
  EXPECT_EQ(Label("lblShowStatusText"), "");
  EXPECT_FALSE(Find<QTimer>("tmrProcess")->isActive());
  EXPECT_FALSE(Button("btnProcessStop")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ProbeOutcomeTest,
    ::testing::Values(OutcomeCase{"Failure", 0, "F A I L U R E", "FAILURE"},
                      OutcomeCase{"Success", 1, "S U C C E S S", "SUCCESS"},
                      OutcomeCase{"SomeFailed", 2, "S O M E   R O U T E S   F A I L E D",
                                  "SOME ROUTES FAILED"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(ProbeFormTest, ErrorInTheWorkerShowsTheErrorBoxThenFailure) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker&) { throw ZError("Queue <b>corrupted</b>"); };
  Watch();
  Test(1, script);
  ASSERT_TRUE(WaitForResults());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Error");
  EXPECT_EQ(boxes[0].text, "ExpressT\nQueue <b>corrupted</b>");
  EXPECT_EQ(boxes[0].buttons, QStringList{"&Abort"});
  EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(boxes[0].format, Qt::PlainText);
  EXPECT_EQ(shown[0].banner, "FAILURE");
  const QStringList texts = Texts();
  const auto error = texts.indexOf("Queue <b>corrupted</b>");
  ASSERT_GE(error, 0);
  EXPECT_EQ(texts.mid(error, 3), (QStringList{"Queue <b>corrupted</b>", "Halted", "Shutdown"}));
}

TEST_F(ProbeFormTest, BackDuringATestLeavesTheWorkerRunningAndItsResultStillComes) {
  auto release = std::make_shared<std::atomic<bool>>(false);
  FakeWorker::Script script;
  script.discover = [release](FakeWorker& w) {
    w.Trace("waiting");
    while (!*release && !w.Terminated()) w.Pause(10);
    w.AddRoute("G=1.1.1.1:1", 25);
  };
  script.sync = [](FakeWorker& w) {
    w.Trace("key arrived");
    w.SetResultCode(1);
  };
  Watch();
  Test(1, script);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Texts().contains("waiting"); }, 5000));
  Button("btnProcessBack")->click();
  EXPECT_EQ(TraceBox()->Count(), 0);
  // The test goes on: the status keeps following it.
  EXPECT_EQ(Label("lblShowThreadDescription"), "ExpressT");
  EXPECT_EQ(Page()->objectName(), "tsSelect");
  EXPECT_FALSE(factory.made->back().worker->Terminated());

  *release = true;
  ASSERT_TRUE(WaitForResults());
  EXPECT_EQ(shown[0].banner, "SUCCESS");
  EXPECT_EQ(Label("lblShowThreadDescription"), "S U C C E S S");
  EXPECT_EQ(Texts().front(), "key arrived");  // lines keep arriving in the emptied list
}

TEST_F(ProbeFormTest, ProgressFollowsTheRunRecordAndAStoppedTestShowsWhatItFound) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.AddRoute("G1=1.1.1.1:1", 25);
    w.AddRoute("G2=1.1.1.2:1", 25);
    w.AddRoute("G3=1.1.1.3:1", 25);
  };
  script.profile = [](FakeWorker& w) {
    w.ScoreRoute(0, 4);
    w.SetResultCode(2);
    w.Record().BeginRoute(1);
    w.SetStatusText("Profiling to G2");
    w.WaitForStop();  // the state stays UpdateRoutes: never "Halted"
  };
  Watch();
  Test(1, script);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        form->tmrProcessTimer();
        return Label("lblProgress") == "Profiling route 2 of 3";
      },
      5000));
  EXPECT_EQ(Label("lblShowThreadDescription"), "ExpressT");
  EXPECT_EQ(Label("lblShowStateDescription"), "UpdateRoutes");
  EXPECT_EQ(Label("lblShowStatusText"), "Profiling to G2");
  EXPECT_EQ(Find<QProgressBar>("pbProgress")->maximum(), 3);
  EXPECT_EQ(Find<QProgressBar>("pbProgress")->value(), 1);

  // One test at a time: Test waits for this one's end.
  EXPECT_FALSE(Button("btnProcessTest")->isEnabled());
  ASSERT_TRUE(Button("btnProcessStop")->isEnabled());
  Button("btnProcessStop")->click();
  EXPECT_FALSE(Button("btnProcessStop")->isEnabled());
  ASSERT_TRUE(WaitForResults());
  EXPECT_TRUE(form->LastRun().stopped);
  EXPECT_EQ(form->LastRun().routes.at(0).score, 4);
  // The stopped test's own banner, and what it had found with the routes it never reached.
  EXPECT_EQ(shown[0].banner, "STOPPED");
  ASSERT_GE(shown[0].lines.size(), 4);
  EXPECT_EQ(shown[0].lines[1], QString::fromUtf8("     4\tG1=1.1.1.1:1\t\u2014\t4 of 25 detail records missing"));
  EXPECT_EQ(shown[0].lines[3],
            QString::fromUtf8("     \u2014\tG3=1.1.1.3:1\t\u2014\tnot scored \u2014 not tried \u2014 test stopped"));
  EXPECT_TRUE(Button("btnProcessTest")->isEnabled());
  EXPECT_EQ(Label("lblShowThreadDescription"), "S T O P P E D");
  EXPECT_FALSE(Find<QLabel>("lblResultIcon")->isHidden());
  EXPECT_EQ(Label("lblShowStateDescription"), "");
  EXPECT_EQ(Label("lblShowStatusText"), "");
  EXPECT_EQ(Label("lblProgress"), "");
  EXPECT_FALSE(Find<QTimer>("tmrProcess")->isActive());
  EXPECT_FALSE(Texts().contains("Halted"));
  EXPECT_TRUE(Texts().contains("Shutdown"));
}

TEST_F(ProbeFormTest, ClickingTestWhileAWorkerStartsStartsNothingElse) {
  FakeWorker::Script script;
  script.startup = [](FakeWorker& w) {
    for (int i = 0; i < 20 && !w.Terminated(); ++i) {
      w.Trace("starting");
      w.Pause(20);
    }
  };
  script.discover = [](FakeWorker& w) { w.WaitForStop(); };
  int clicks = 0;
  QTimer clicker;
  QObject::connect(&clicker, &QTimer::timeout, [&] {
    ++clicks;
    Button("btnProcessTest")->click();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  clicker.start(30);
  Test(1, script);  // Test has the focus, as the Process page gives it
  clicker.stop();
  EXPECT_GT(clicks, 2);
  EXPECT_EQ(factory.made->size(), 1u);
  EXPECT_TRUE(form->isVisible());  // Enter never reached Close
  EXPECT_FALSE(Button("btnProcessTest")->isEnabled());
  EXPECT_FALSE(Button("btnProcessClose")->hasFocus());
  EXPECT_TRUE(form->StopWorkers());
}

// --- closing during a test (the session's own cases are in its tests) ---

TEST_F(ProbeFormTest, ClosingStopsAndFreesTheWorkerWithinASecond) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.Trace("waiting");
    w.WaitForStop();
  };
  Test(1, script);
  ASSERT_TRUE(QTest::qWaitFor([&] { return TraceBox()->Count() >= 3; }, 5000));
  QElapsedTimer clock;
  clock.start();
  form->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return *alive == 0; }, 3000));
  EXPECT_LT(clock.elapsed(), 1200);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(ProbeFormTest, ClosingWhileTheErrorBoxIsUpClosesItAndFreesTheWorker) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker&) { throw ZError("broken"); };
  Watch(/*close_on_box=*/true);
  Test(1, script);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.empty(); }, 5000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return *alive == 0; }, 3000));
  EXPECT_LT(close_started.elapsed(), 1200);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(shown.empty());  // no results window after the window closed
}

}  // namespace
}  // namespace zp::test
