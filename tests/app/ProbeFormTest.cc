#include <gtest/gtest.h>

#include "ProbeFormFixture.h"

namespace zp::test {
namespace {

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
      {1, "1", "b", 1, "b"},
      {2, "ffff", "z", 65535, "z"},
  };
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) { w.WaitForStop(); };
  script.alive = alive;
  factory.script = script;
  form->SetWorkerFactory(factory.Make());
  Watch();
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
    ASSERT_NE(form->CurrentRun(), nullptr);
    EXPECT_EQ(form->CurrentRun()->Worker(), made.worker);
    EXPECT_TRUE(Find<QTimer>("tmrProcess")->isActive());
    // One test at a time: the next one once this one has ended.
    Button("btnProcessStop")->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          form->tmrProcessTimer();
          return form->CurrentRun() == nullptr;
        },
        5000));
  }
  EXPECT_EQ(factory.made->size(), 4u);
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

// Without a route server or a port the test could only fail: Next and Test say what is
// missing, take the operator to the box and start nothing.
TEST_F(ProbeFormTest, AnEmptyServerOrABadPortIsNamedAtNextAndAtTestAndNothingStarts) {
  struct Case {
    const char *button, *server, *port, *field, *text;
  };
  const char* const server_missing = "Type the route server's name or address in the Server box.";
  const char* const port_missing = "Type the route server's port in the Port box: 1 to FFFF in hexadecimal.";
  const Case cases[] = {
      {"btnSelectNext", " ", "6900", "edServer", server_missing},
      {"btnSelectNext", "h", "", "edPort", port_missing},
      {"btnSelectNext", "h", "0", "edPort", "The port \"0\" is not a port: type 1 to FFFF in hexadecimal digits (0-9, A-F)."},
      {"btnProcessTest", "", "6900", "edServer", server_missing},
      {"btnProcessTest", "h", "", "edPort", port_missing},
      // Typed text never gets past the box's check; text put there by the program does.
      {"btnProcessTest", "h", "ZZ12", "edPort", "The port \"ZZ12\" is not a port: type 1 to FFFF in hexadecimal digits (0-9, A-F)."},
  };
  form->SetWorkerFactory(factory.Make());
  Watch();
  ToProcess(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.button) + " " + c.server + " " + c.port);
    boxes.clear();
    const bool at_test = std::string(c.button) == "btnProcessTest";
    if (at_test && Page()->objectName() != "tsProcess") {
      Edit("edServer")->setText("h");
      Edit("edPort")->setText("6900");
      Button("btnSelectNext")->click();
    } else if (!at_test && Page()->objectName() != "tsSelect") {
      Button("btnProcessBack")->click();
    }
    Edit("edServer")->setText(c.server);
    Edit("edPort")->setText(c.port);
    Button(c.button)->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, c.text);
    EXPECT_TRUE(factory.made->empty());
    EXPECT_EQ(TraceBox()->Count(), 0);
    EXPECT_FALSE(Find<QTimer>("tmrProcess")->isActive());
    EXPECT_EQ(Page()->objectName(), "tsSelect");
    EXPECT_EQ(form->focusWidget(), Edit(c.field));
  }
}

TEST_F(ProbeFormTest, ThePortBoxTakesHexadecimalDigitsOnly) {
  Button("btnWelcomeNext")->click();
  Choose(1);
  Edit("edPort")->clear();
  QTest::keyClicks(Edit("edPort"), "ZZ1g2-a F9");
  EXPECT_EQ(Edit("edPort")->text(), "12aF");  // and no more than four
}

// Arriving on the Select page, the chosen way (or the first) shows the focus as it does
// when tabbed to, so the operator sees where the arrow keys act.
TEST_F(ProbeFormTest, TheSelectPageShowsWhereTheFocusIs) {
  auto* first = Find<QRadioButton>("rgSelectItem0");
  Button("btnWelcomeNext")->click();
  ASSERT_EQ(QApplication::focusWidget(), first);
  EXPECT_TRUE(form->testAttribute(Qt::WA_KeyboardFocusChange));
  const QImage focused = first->grab().toImage();
  Button("btnSelectBack")->setFocus(Qt::TabFocusReason);
  EXPECT_NE(first->grab().toImage(), focused);  // the focus is drawn
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
  EXPECT_TRUE(form->StopWorkers());
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
  EXPECT_TRUE(form->StopWorkers());
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
  Watch();
  Test(2, script);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Texts().contains("Tx === BEGINS  5 Bytes"); }, 5000));
  Edit("edServer")->setText("srv.example");
  Edit("edPort")->setText("1a2B");
  Edit("edRouteCode")->setText("Q");
  TraceBox()->horizontalScrollBar()->setValue(TraceBox()->horizontalScrollBar()->maximum());
  Button("btnProcessStop")->click();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        form->tmrProcessTimer();
        return Button("btnProcessTest")->isEnabled();
      },
      5000));
  Button("btnProcessTest")->click();
  EXPECT_EQ(TraceBox()->horizontalScrollBar()->value(), 0);  // a new test starts at the left
  ASSERT_TRUE(QTest::qWaitFor([&] { return Texts().count("Tx === BEGINS  5 Bytes") == 2; }, 5000));
  ASSERT_TRUE(form->StopWorkers());
  const QStringList lines = TraceLines();

  const QRegularExpression separator(QString::fromUtf8("^Test (\\d) started \\d\\d:\\d\\d:\\d\\d \u2014 (.*)$"));
  QStringList separators;
  for (const QString& line : lines)
    if (const auto m = separator.match(line); m.hasMatch()) separators << m.captured(1) + " " + m.captured(2);
  EXPECT_EQ(separators, (QStringList{"1 " ZP_DEFAULT_WAN_ADDRESSES ":6900, route code H",
                                     "2 srv.example:1A2B, route code Q"}));
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
  EXPECT_EQ(second.captured(2), "server srv.example, port 1A2B (6699), route code Q") << saved[2].toStdString();
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

}  // namespace
}  // namespace zp::test
