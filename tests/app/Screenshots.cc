// Takes the README's pictures: runs the real windows through one test and grabs each
// page and the results window as PNG files into the directory given as the first
// argument. The test's worker is scripted (three routes, one of which fails), or with
// "real" as the second argument the probe client itself, which then needs peers to
// talk to (the simulated gateway). A second test, always scripted so that it is surely
// still running, is stopped on its second route. With "history FILE" instead it grabs
// only the History window over that history file: on the newest run's settings, and with
// every setting.
#include <QApplication>
#include <QCheckBox>
#include <QTableWidget>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <string>

#include "FakeWorker.h"
#include "app/HistoryForm.h"
#include "app/ProbeForm.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "history/RunHistory.h"

namespace {

using zp::test::FakeWorker;

struct Route {
  const char *name, *address;
  int score;
  const char* elapsed;
};
constexpr Route kRoutes[] = {{"Gateway1", "127.0.0.1", 12, "0.41"},
                             {"Gateway2", "127.0.0.2", 340, "1.87"},
                             {"Gateway3", "127.0.0.3", 25, nullptr}};

std::atomic<bool> g_release{false};

FakeWorker::Script DemoScript() {
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) {
    w.Trace("GetRoute Start \"127.0.0.1:6900\"");
    w.Trace("Connected to 127.0.0.1:6900 (26880)");
    const char request[] = "$RT0001000100010000A     0000000000000000\x03";
    w.TraceDump("Tx", static_cast<int>(sizeof request - 1), request);
    w.Trace("00 \"OK\"");
    int i = 1;
    for (const Route& r : kRoutes) {
      char line[96];
      std::snprintf(line, sizeof line, "%2.2d \"%s=%s:26881\"", i++, r.name, r.address);
      w.Trace(line);
      w.AddRoute(std::string(r.name) + "=" + r.address + ":26881", 25);
    }
    w.Trace("GetRoute Finished \"127.0.0.1:6900\"");
  };
  script.profile = [](FakeWorker& w) {
    std::size_t index = 0;
    for (const Route& r : kRoutes) {
      w.Record().BeginRoute(index);
      char line[160];
      std::snprintf(line, sizeof line, "CurrentRoute %s %s:26881", r.name, r.address);
      w.Trace(line);
      std::snprintf(line, sizeof line, "Profiling to %s %s:26881", r.name, r.address);
      w.SetStatusText(line);
      std::snprintf(line, sizeof line, "0: connect via route %s %s 6901 (26881)", r.name, r.address);
      w.Trace(line);
      if (index == 1) {
        while (!g_release && !w.Terminated()) w.Pause(20);
        if (w.Terminated()) return;  // stopped: the rest is never tried
      }
      if (r.elapsed != nullptr) {
        std::snprintf(line, sizeof line, "%s Profiling Complete - Score (%d) %ssec Elapsed", r.name,
                      r.score, r.elapsed);
      } else {
        std::snprintf(line, sizeof line,
                      "0: connect() failed to %s %s 6901 (26881) Connection refused", r.name,
                      r.address);
        w.SetResultCode(2);
      }
      w.Trace(line);
      w.ScoreRoute(index++, r.score, r.elapsed == nullptr);
    }
  };
  script.sync = [](FakeWorker& w) {
    w.Trace("CurrentRoute(0) Gateway1 127.0.0.1:26881");
    w.Trace("PublicKey Request SUCCESS 1184 Bytes 0.20sec");
  };
  return script;
}

bool Save(QWidget* widget, const QDir& dir, const char* name) {
  const QString path = dir.filePath(name);
  const bool ok = widget->grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const QDir dir(argc > 1 ? argv[1] : ".");
  const bool real = argc > 2 && std::string(argv[2]) == "real";
  int qt_argc = 1;
  QApplication app(qt_argc, argv);
  QApplication::setApplicationDisplayName("Zelvan Probe");
  if (argc > 3 && std::string(argv[2]) == "history") {
    // As the main window opens it after the newest run: on that run's settings, with its
    // row chosen; then with the switch for every setting.
    auto store = std::make_shared<zp::RunHistory>(argv[3]);
    const auto newest = store->Recent(1);
    if (!newest || newest->empty()) return 1;
    zp::THistoryForm history(store, newest->front().settings);
    history.show();
    if (!QTest::qWaitForWindowExposed(&history)) return 1;
    history.Table()->selectRow(0);
    QTest::qWait(300);  // the charts lay out their series after the first paint
    bool ok = Save(&history, dir, "window-history.png");
    history.AllSettings()->click();
    history.Table()->selectRow(0);
    QTest::qWait(300);
    ok &= Save(&history, dir, "window-history-all.png");
    return ok ? 0 : 1;
  }

  zp::TfrmProbe form;
  zp::TfrmResults results;
  form.SetResultsForm(&results);
  // A history of its own, as the program keeps one: the results window shows each route's
  // change, and the stopped test is compared with the first.
  QTemporaryDir state;
  form.SetHistory(std::make_shared<zp::RunHistory>(state.filePath("history.db").toStdString()));
  zp::test::FakeFactory factory;
  factory.script = DemoScript();
  if (!real) form.SetWorkerFactory(factory.Make());
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return 1;
  // Without a window manager nothing activates the window, and an inactive window draws
  // no focus: the Select page's picture is to show it.
  form.activateWindow();
  if (!QTest::qWaitForWindowActive(&form)) std::printf("the window is not active: it draws no focus\n");

  bool ok = Save(&form, dir, "window-welcome.png");
  form.findChild<QPushButton*>("btnWelcomeNext")->click();
  auto* item = form.findChild<QRadioButton*>("rgSelectItem0");
  QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(6, item->height() / 2));
  QTest::qWait(50);
  ok &= Save(&form, dir, "window-select.png");
  form.findChild<QPushButton*>("btnSelectNext")->click();

  bool results_seen = false;
  int results_count = 0;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (QApplication::activeModalWidget() != &results || results_seen) return;
    results_seen = true;
    QTest::qWait(100);
    if (results_count++ == 0) {
      ok &= Save(&form, dir, "window-process-result.png");
      ok &= Save(&results, dir, "window-results.png");
    } else {
      ok &= Save(&form, dir, "window-stopped.png");
      ok &= Save(&results, dir, "window-results-stopped.png");
    }
    results.accept();
  });
  watch.start(20);

  auto* progress = form.findChild<QLabel*>("lblProgress");
  form.findChild<QPushButton*>("btnProcessTest")->click();
  // Mid-test: wait for a poll (with the scripted worker, one that shows the second
  // route being profiled; the real one may be quicker than that).
  const bool mid_test = QTest::qWaitFor(
      [&] {
        return results_seen ||
               ((real || progress->text().contains("route 2")) &&
                form.findChild<QLabel*>("lblShowThreadDescription")->text() == "ExpressT");
      },
      real ? 120000 : 5000);
  if (mid_test && !results_seen) {
    QTest::qWait(100);
    ok &= Save(&form, dir, "window-process.png");
  } else {
    std::printf("no picture of the test under way\n");
  }
  g_release = true;
  ok &= QTest::qWaitFor([&] { return results_seen && !results.isVisible(); }, real ? 180000 : 10000);

  // The stopped test.
  g_release = false;
  results_seen = false;
  form.SetWorkerFactory(factory.Make());
  form.findChild<QPushButton*>("btnProcessTest")->click();
  ok &= QTest::qWaitFor([&] { return progress->text().contains("route 2"); }, 5000);
  form.findChild<QPushButton*>("btnProcessStop")->click();
  ok &= QTest::qWaitFor([&] { return results_seen && !results.isVisible(); }, 10000);
  form.close();
  return ok ? 0 : 1;
}
