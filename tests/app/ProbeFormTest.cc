#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <memory>

#include "AppTestSupport.h"
#include "FakeWorker.h"
#include "app/ProbeForm.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "app/TraceList.h"
#include "framework/Errors.h"
#include "platform/LocalTime.h"

namespace zp::test {
namespace {

struct ResultsSeen {
  QString banner;
  QStringList lines;
};

struct BoxSeen {
  QString title, text;
  QStringList buttons;
  QMessageBox::Icon icon;
  Qt::TextFormat format;
};

class ProbeFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TfrmProbe>();
    results = std::make_unique<TfrmResults>();
    form->SetResultsForm(results.get());
    factory.script.alive = alive;
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  }
  void TearDown() override {
    watcher.reset();
    form.reset();
    results.reset();
    EXPECT_EQ(*alive, 0);
  }

  template <class T>
  T* Find(const QString& name) {
    T* widget = form->findChild<T*>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
  }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
  QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
  QString Label(const char* name) { return Find<QLabel>(name)->text(); }
  QWidget* Page() { return Find<QStackedWidget>("pcProbe")->currentWidget(); }
  ZTabListBox* TraceBox() { return Find<ZTabListBox>("tlbTrace"); }
  // Every trace line so far, those waiting for their burst included.
  QStringList TraceLines() {
    form->TraceList().Flush();
    return Lines(*TraceBox());
  }
  // The text column of each trace line.
  QStringList Texts() {
    QStringList texts;
    for (const QString& line : TraceLines()) texts << line.section(u'\t', 2);
    return texts;
  }

  void Choose(int item) {
    auto* radio = Find<QRadioButton>(QString("rgSelectItem%1").arg(item));
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(6, radio->height() / 2));
  }
  void ToProcess(int item) {
    Button("btnWelcomeNext")->click();
    Choose(item);
    Button("btnSelectNext")->click();
  }
  // Starts a test with fake workers running `script`.
  void Test(int item, FakeWorker::Script script) {
    script.alive = alive;
    factory.script = std::move(script);
    form->SetWorkerFactory(factory.Make());
    ToProcess(item);
    if (Edit("edServer")->text().isEmpty()) Edit("edServer")->setText("127.0.0.1");
    Button("btnProcessTest")->click();
  }
  // Records every modal window and closes it: results with its button, boxes with
  // their first button (or by closing the main window when `close_on_box`).
  void Watch(bool close_on_box = false) {
    watcher = std::make_unique<ModalWatcher>([this, close_on_box](QWidget* modal) {
      if (modal == results.get()) {
        shown.push_back({results->findChild<QLabel*>("lblShowResult")->text(),
                         Lines(*results->findChild<ZTabListBox*>("tlbResults"))});
        QTest::mouseClick(results->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
      } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        BoxSeen seen{box->windowTitle(), box->text(), {}, box->icon(), box->textFormat()};
        for (QAbstractButton* b : box->buttons()) seen.buttons << b->text();
        boxes.push_back(seen);
        if (close_on_box) {
          close_started.start();
          form->close();
        } else {
          box->buttons().front()->click();
        }
      }
    });
  }
  bool WaitForResults(std::size_t count = 1, int ms = 5000) {
    return QTest::qWaitFor([&] { return shown.size() >= count; }, ms);
  }

  std::shared_ptr<std::atomic<int>> alive = std::make_shared<std::atomic<int>>(0);
  std::unique_ptr<TfrmProbe> form;
  std::unique_ptr<TfrmResults> results;
  FakeFactory factory;
  std::unique_ptr<ModalWatcher> watcher;
  std::vector<ResultsSeen> shown;
  std::vector<BoxSeen> boxes;
  QElapsedTimer close_started;
};

// --- pages and settings ---

TEST_F(ProbeFormTest, StartsOnWelcomeWithNextDisabledAndTheProcessPageIdle) {
  EXPECT_EQ(form->windowTitle(), "Zelvan Probe");
  EXPECT_EQ(Page()->objectName(), "tsWelcome");
  EXPECT_EQ(Find<QPlainTextEdit>("mmoWelcome")->toPlainText(),
            "Welcome to Zelvan Probe.\n\n\n"
            "This tool is used to verify communication between your site and \n"
            "Zelvan across the Internet.\n\n"
            "Please press the Next button below to select which product you wish\n"
            "to verify.");
  EXPECT_FALSE(Button("btnSelectNext")->isEnabled());
  EXPECT_EQ(Label("lblShowThreadDescription"), "Press Test to Begin");
  EXPECT_EQ(Label("lblShowStateDescription"), "");
  EXPECT_EQ(Label("lblShowStatusText"), "");
  EXPECT_FALSE(Find<QTimer>("tmrProcess")->isActive());
  EXPECT_EQ(Edit("edRouteCode")->text(), "A");
  EXPECT_EQ(Edit("edPort")->maxLength(), 4);
  EXPECT_EQ(Edit("edRouteCode")->maxLength(), 1);

  // Enter presses the page's default button; Back returns.
  QTest::keyClick(form.get(), Qt::Key_Return);
  EXPECT_EQ(Page()->objectName(), "tsSelect");
  Button("btnSelectBack")->click();
  EXPECT_EQ(Page()->objectName(), "tsWelcome");
}

TEST_F(ProbeFormTest, ChoosingAnItemOverwritesTheEditsButChoosingItAgainDoesNot) {
  Button("btnWelcomeNext")->click();
  Choose(1);
  EXPECT_TRUE(Button("btnSelectNext")->isEnabled());
  EXPECT_EQ(Edit("edServer")->text(), "");
  EXPECT_EQ(Edit("edPort")->text(), "6900");
  EXPECT_EQ(Edit("edRouteCode")->text(), "");

  Edit("edServer")->setText("typed.example");
  Choose(0);
  EXPECT_EQ(Edit("edServer")->text(), ZP_DEFAULT_ROUTE_HOST);
  EXPECT_EQ(Edit("edPort")->text(), "6900");
  EXPECT_EQ(Edit("edRouteCode")->text(), "A");

  Choose(2);
  EXPECT_EQ(Edit("edServer")->text(), ZP_DEFAULT_WAN_ADDRESSES);
  EXPECT_EQ(Edit("edRouteCode")->text(), "H");
  Edit("edPort")->setText("1234");
  Choose(2);
  EXPECT_EQ(Edit("edPort")->text(), "1234");

  // The keyboard moves through the items too.
  QTest::keyClick(Find<QRadioButton>("rgSelectItem2"), Qt::Key_Up);
  EXPECT_EQ(Edit("edServer")->text(), "");
  EXPECT_EQ(Edit("edPort")->text(), "6900");
}

struct SettingsCase {
  int item;
  const char *port, *code;
  std::int32_t want_port;
  const char* want_code;
};

TEST_F(ProbeFormTest, TestHandsTheWorkerTheTypedSettings) {
  const SettingsCase cases[] = {
      {0, "6900", "H", 26880, "A"},  // the normal route always uses A
      {2, "6900", "", 26880, "A"},   // empty route code: A
      {1, "G", "Q", 0, "Q"},         // not hexadecimal: port 0
      {1, "", "b", 0, "b"},
      {2, "ffff", "z", 65535, "z"},
  };
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) { w.WaitForStop(); };
  script.alive = alive;
  factory.script = script;
  form->SetWorkerFactory(factory.Make());
  Button("btnWelcomeNext")->click();
  for (const SettingsCase& c : cases) {
    if (Page()->objectName() == "tsProcess") Button("btnProcessBack")->click();
    Choose(c.item);
    Edit("edServer")->setText("srv");
    Edit("edPort")->setText(c.port);
    Edit("edRouteCode")->setText(c.code);
    Button("btnSelectNext")->click();
    Button("btnProcessTest")->click();
    ASSERT_FALSE(factory.made->empty());
    const MadeWorker& made = factory.made->back();
    EXPECT_EQ(made.name, "ExpressT");
    EXPECT_EQ(made.settings.server, "srv");
    EXPECT_EQ(made.settings.port, c.want_port) << c.port;
    EXPECT_EQ(made.settings.route_code, c.want_code) << c.item << " " << c.code;
    // A new test follows only the newest worker; the earlier ones run on.
    ASSERT_NE(form->CurrentRun(), nullptr);
    EXPECT_EQ(form->CurrentRun()->Worker(), made.worker);
    EXPECT_TRUE(Find<QTimer>("tmrProcess")->isActive());
  }
  EXPECT_EQ(*alive, 5);
}

TEST_F(ProbeFormTest, NextPutsTheFocusOnTheFirstWayAndTheArrowKeysChoose) {
  Button("btnWelcomeNext")->click();
  ASSERT_EQ(QApplication::focusWidget(), Find<QRadioButton>("rgSelectItem0"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
  EXPECT_TRUE(Find<QRadioButton>("rgSelectItem1")->isChecked());
  EXPECT_TRUE(Button("btnSelectNext")->isEnabled());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
  EXPECT_TRUE(Find<QRadioButton>("rgSelectItem0")->isChecked());
  EXPECT_EQ(Edit("edServer")->text(), ZP_DEFAULT_ROUTE_HOST);
}

// Without a route server the test could only fail: the window says what is missing,
// takes the operator to the box and starts nothing.
TEST_F(ProbeFormTest, AnEmptyServerBoxIsNamedAndNothingStarts) {
  form->SetWorkerFactory(factory.Make());
  Watch();
  ToProcess(1);
  Edit("edServer")->setText(" ");
  Button("btnProcessTest")->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Type the route server's name or address in the Server box.");
  EXPECT_TRUE(factory.made->empty());
  EXPECT_EQ(TraceBox()->Count(), 0);
  EXPECT_FALSE(Find<QTimer>("tmrProcess")->isActive());
  EXPECT_EQ(Page()->objectName(), "tsSelect");
  EXPECT_EQ(form->focusWidget(), Edit("edServer"));
}

// While the worker waits to ask for routes again the phase line counts the seconds down.
TEST_F(ProbeFormTest, WaitingForRoutesShowsTheSecondsLeftBesideTheState) {
  FakeWorker::Script script;  // discovery finds no route
  Test(1, script);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        form->tmrProcessTimer();
        return Label("lblProgress").startsWith("No routes");
      },
      5000));
  EXPECT_EQ(Label("lblShowStateDescription"), "WaitRoutes");
  EXPECT_TRUE(QRegularExpression("^No routes: asking again in (20|19) s$").match(Label("lblProgress")).hasMatch())
      << Label("lblProgress").toStdString();
  EXPECT_TRUE(form->StopWorkers(2000));
}

TEST_F(ProbeFormTest, ItemBeyondTheListIsRefusedWithTheApplicationsErrorBox) {
  Button("btnWelcomeNext")->click();
  auto* extra = new QRadioButton("Connect by carrier pigeon", Find<QGroupBox>("rgSelect"));
  Find<QGroupBox>("rgSelect")->findChild<QButtonGroup*>()->addButton(extra, 3);
  extra->setChecked(true);
  Button("btnSelectNext")->click();
  form->SetWorkerFactory(factory.Make());
  Watch();
  Button("btnProcessTest")->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Connect by carrier pigeon is not supported at this time");
  EXPECT_EQ(boxes[0].title, "Zelvan Probe");
  EXPECT_TRUE(factory.made->empty());
  EXPECT_FALSE(Find<QTimer>("tmrProcess")->isActive());
}

// --- the trace ---

TEST_F(ProbeFormTest, RealWorkerStartsWithItsSettingsLineThenStartupComplete) {
  ToProcess(0);  // default factory: the probe client itself
  Button("btnProcessTest")->click();
  QStringList lines = TraceLines();
  ASSERT_GE(lines.size(), 3);
  // The test's own separator line comes first.
  EXPECT_TRUE(QRegularExpression(QString::fromUtf8("^Test 1 started \\d\\d:\\d\\d:\\d\\d \u2014 ") +
                                 ZP_DEFAULT_ROUTE_HOST ":6900, route code A$")
                  .match(lines[0])
                  .hasMatch())
      << lines[0].toStdString();
  lines.removeFirst();
  const QRegularExpression head(
      R"(^ExpressT\t(Mon|Tue|Wed|Thu|Fri|Sat|Sun) \d\d/\d\d \d\d:\d\d:\d\d\t)");
  for (const QString& line : lines) EXPECT_TRUE(head.match(line).hasMatch()) << line.toStdString();
  EXPECT_EQ(lines[0].section(u'\t', 2),
            QString(ZP_DEFAULT_ROUTE_HOST) + ":6900 (26880) RouteCode(A) Sig(0 Bytes)");
  EXPECT_EQ(lines[1].section(u'\t', 2), "UpdateRoutes: Startup Complete");
  EXPECT_TRUE(Find<QTimer>("tmrProcess")->isActive());
  EXPECT_TRUE(form->StopWorkers(2000));
}

TEST_F(ProbeFormTest, WorkerLinesArriveInOrderInTheOneTraceLineFormat) {
  testing::FixLocalTime(1796680800);
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    for (int i = 0; i < 200; ++i) w.Trace("traced " + std::to_string(i));
    const char bytes[] = "$RT0001";
    w.TraceDump("Tx", 7, bytes);
    w.WaitForStop();
  };
  Test(1, script);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->TraceList().Count() >= 206; }, 5000));
  testing::FixLocalTime(0);
  const QStringList lines = TraceLines();
  const std::string time = FormatDateTime("ddd mm/dd hh:nn:ss", 1796680800);
  for (int i = 0; i < 200; ++i) {
    const std::string want = FormatTraceLine({"ExpressT", time, "traced " + std::to_string(i)});
    EXPECT_EQ(lines[i + 3].toStdString(), want);  // after the separator, settings and start-up lines
  }
  EXPECT_EQ(lines[203].section(u'\t', 2), "Tx === BEGINS  7 Bytes");
  EXPECT_EQ(lines[205].section(u'\t', 2), "Tx === ENDS");
}

// Two tests in one list: each starts with its separator line, and a copied or saved
// trace names both in its head.
TEST_F(ProbeFormTest, TraceCopiesAndSavesAsPlainTextHeadedByEveryTest) {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.Trace("Tx === BEGINS  5 Bytes");
    w.WaitForStop();
  };
  Test(2, script);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Texts().contains("Tx === BEGINS  5 Bytes"); }, 5000));
  Edit("edServer")->setText("srv.example");
  Edit("edPort")->setText("1a2B");
  Edit("edRouteCode")->setText("Q");
  TraceBox()->horizontalScrollBar()->setValue(TraceBox()->horizontalScrollBar()->maximum());
  Button("btnProcessTest")->click();
  EXPECT_EQ(TraceBox()->horizontalScrollBar()->value(), 0);  // a new test starts at the left
  ASSERT_TRUE(QTest::qWaitFor([&] { return Texts().count("Tx === BEGINS  5 Bytes") == 2; }, 5000));
  ASSERT_TRUE(form->StopWorkers(2000));
  const QStringList lines = TraceLines();

  const QRegularExpression separator(QString::fromUtf8("^Test (\\d) started \\d\\d:\\d\\d:\\d\\d \u2014 (.*)$"));
  QStringList separators;
  for (const QString& line : lines)
    if (const auto m = separator.match(line); m.hasMatch()) separators << m.captured(1) + " " + m.captured(2);
  EXPECT_EQ(separators, (QStringList{"1 " ZP_DEFAULT_WAN_ADDRESSES ":6900, route code H",
                                     "2 srv.example:1a2B, route code Q"}));
  EXPECT_TRUE(lines[0].startsWith("Test 1 started"));

  TraceBox()->SetItemIndex(2);
  TraceBox()->findChild<QAction*>("actCopy")->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), TraceBox()->Line(2));

  QTemporaryDir dir;
  const QString path = dir.filePath("trace.txt");
  ASSERT_TRUE(form->TraceList().Save(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QStringList saved = QString::fromUtf8(file.readAll()).split(u'\n');
  ASSERT_GE(saved.size(), 4 + lines.size());
  EXPECT_EQ(saved[0], "Zelvan Probe trace");
  const QRegularExpression head(R"(^Test (\d) started 20\d\d-\d\d-\d\d \d\d:\d\d:\d\d: (.*)$)");
  const auto first = head.match(saved[1]), second = head.match(saved[2]);
  EXPECT_EQ(first.captured(2), "server " ZP_DEFAULT_WAN_ADDRESSES ", port 6900 (26880), route code H") << saved[1].toStdString();
  EXPECT_EQ(second.captured(2), "server srv.example, port 1a2B (6699), route code Q") << saved[2].toStdString();
  EXPECT_EQ(saved[3], "");
  EXPECT_EQ(saved.mid(4, lines.size()), lines);

  TraceBox()->findChild<QAction*>("actCopyAll")->trigger();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), form->TraceList().Text(true));
  EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith("Zelvan Probe trace\n" + saved[1] + "\n" + saved[2] + "\n"));
}

TEST_F(ProbeFormTest, EveryLabelShowsPlainText) {
  for (QLabel* label : form->findChildren<QLabel*>())
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
  for (QLabel* label : results->findChildren<QLabel*>())
    EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
}

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
    if (code != 0) w.SetResultCode(code);
  };
  Watch();
  Test(1, script);
  if (c.word == nullptr) {
    // Unknown code: no banner, no window, the poll still ends.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->CurrentRun() == nullptr; }, 5000));
    QTest::qWait(50);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(Label("lblShowThreadDescription"), "ExpressT");
  } else {
    ASSERT_TRUE(WaitForResults());
    EXPECT_EQ(shown[0].banner, c.word);
    EXPECT_EQ(shown[0].lines.mid(0, 3), (QStringList{"Score\tRoute\tOutcome", "    25\tGateway1=127.0.0.1:26881\tnot tried",
                                                   "    25\tGateway2=127.0.0.2:26881\tnot tried"}));
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
                                  "SOME ROUTES FAILED"},
                      OutcomeCase{"Unknown", 3, nullptr, nullptr}),
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
  EXPECT_EQ(Label("lblShowThreadDescription"), "Press Test to Begin");
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

  ASSERT_TRUE(Button("btnProcessStop")->isEnabled());
  Button("btnProcessStop")->click();
  EXPECT_FALSE(Button("btnProcessStop")->isEnabled());
  ASSERT_TRUE(WaitForResults());
  EXPECT_TRUE(form->LastRun().stopped);
  EXPECT_EQ(form->LastRun().routes.at(0).score, 4);
  // The stopped test's own banner, and what it had found with the routes it never reached.
  EXPECT_EQ(shown[0].banner, "STOPPED");
  ASSERT_GE(shown[0].lines.size(), 4);
  EXPECT_EQ(shown[0].lines[1], "     4\tG1=1.1.1.1:1\t4 of 25 detail records missing");
  EXPECT_EQ(shown[0].lines[3], QString::fromUtf8("    25\tG3=1.1.1.3:1\tnot tried \u2014 test stopped"));
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
  EXPECT_TRUE(Button("btnProcessTest")->hasFocus());
  EXPECT_TRUE(form->StopWorkers(2000));
}

// --- closing during a test ---

struct CloseCase {
  const char* name;
  FakeWorker::Step discover;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class ProbeCloseTest : public ProbeFormTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ProbeCloseTest, ClosingStopsAndFreesTheWorkerWithinASecond) {
  FakeWorker::Script script;
  script.discover = GetParam().discover;
  Test(1, script);
  ASSERT_TRUE(QTest::qWaitFor([&] { return TraceBox()->Count() >= 3; }, 5000));
  QElapsedTimer clock;
  clock.start();
  form->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return *alive == 0; }, 3000));
  EXPECT_LT(clock.elapsed(), 1200);
  EXPECT_FALSE(form->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    WhileTheWorker, ProbeCloseTest,
    ::testing::Values(CloseCase{"Traces",
                                [](FakeWorker& w) {
                                  for (int i = 0; !w.Terminated(); ++i) w.Trace("busy " + std::to_string(i));
                                }},
                      CloseCase{"Waits",
                                [](FakeWorker& w) {
                                  w.Trace("waiting");
                                  w.WaitForStop();
                                }}),
    [](const auto& p) { return std::string(p.param.name); });

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

TEST_F(ProbeFormTest, ClosingWhileTestWaitsForTheStartEndsTheWait) {
  FakeWorker::Script script;
  script.startup = [](FakeWorker& w) {
    while (!w.Terminated()) {
      w.Trace("slow start");
      w.Pause(20);
    }
  };
  QTimer::singleShot(150, form.get(), [&] {
    close_started.start();
    form->close();
  });
  Test(1, script);  // returns once the close has ended the wait
  ASSERT_TRUE(QTest::qWaitFor([&] { return *alive == 0; }, 3000));
  EXPECT_LT(close_started.elapsed(), 1200);
  EXPECT_FALSE(Find<QTimer>("tmrProcess")->isActive());
}

}  // namespace
}  // namespace zp::test
