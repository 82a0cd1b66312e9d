#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QScrollBar>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/ResultBanner.h"
#include "app/ResultsForm.h"
#include "app/TabBox.h"
#include "session/ResultLines.h"
#include "net/ZWinSock.h"
#include "run/NextSteps.h"
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
    ended.results = MakeResults(run, std::nullopt);
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
  EXPECT_EQ(lines, (QStringList{"Score\tRoute\tChange\tOutcome",
                                QString::fromUtf8("    25\tGateway1=10.0.0.1:26881\t\u2014\tall 25 detail records missing"),
                                QString::fromUtf8("     7\tGateway2=10.0.0.2:26881\t\u2014\t7 of 25 detail records missing"), "",
                                "Public key: not reached"}));
  EXPECT_EQ(legend, QString::fromStdString(ScoreLegend(25)));

  Show(1, {{"G=1.2.3.4:5", 1234567}});  // wider than six digits: not cut
  EXPECT_EQ(banner, "SUCCESS");
  EXPECT_EQ(lines.mid(0, 2),
            (QStringList{"Score\tRoute\tChange\tOutcome",
                         QString::fromUtf8("1234567\tG=1.2.3.4:5\t\u2014\tbroken answer: 1234567 records reported missing of 25 sent")}));

  Show(0, {});
  EXPECT_EQ(banner, "FAILURE");
  EXPECT_EQ(lines, QStringList{"No route server was asked."});
}

TEST_F(ResultsFormTest, UnknownCodeKeepsTheWordButReplacesTheLines) {
  Show(3, {{"A=1.1.1.1:1", 0}});
  EXPECT_EQ(banner, "<<show result>>");
  EXPECT_EQ(lines[1], QString::fromUtf8("     0\tA=1.1.1.1:1\t\u2014\tall 25 detail records arrived"));

  Show(1, {});
  Show(3, {{"B=1.1.1.1:1", 0}});
  EXPECT_EQ(banner, "SUCCESS");
  EXPECT_EQ(lines[1], QString::fromUtf8("     0\tB=1.1.1.1:1\t\u2014\tall 25 detail records arrived"));
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
  EXPECT_EQ(selected, QString::fromUtf8("    25\tG2=1:2\t\u2014\tno heartbeat within 5 s"));
  // The word, every line of the session's results (what to check next too), the legend.
  EXPECT_EQ(all, QString::fromStdString(MakeResults(run, std::nullopt).Text()));
  EXPECT_TRUE(all.startsWith("SOME ROUTES FAILED\n" + lines.join(u'\n') + "\n\nWhat to check next:\n")) << all.toStdString();
  EXPECT_TRUE(all.endsWith(legend + "\n"));
  EXPECT_EQ(button, all);
}

RunSnapshot RefusedRouteAndNoKey() {
  RunSnapshot run;
  run.finished = true;
  run.result_code = 0;
  run.routes.push_back(RouteResult{.entry = "G1=1:2", .outcome = RouteOutcome::Scored});
  run.routes.push_back(RouteResult{.entry = "G2=1:3", .name = "G2", .score = 25, .failed = true,
                                   .outcome = RouteOutcome::ConnectFailed, .error = WSAECONNREFUSED});
  run.key = KeyResult{.outcome = KeyOutcome::Failed, .detail = "no key"};
  return run;
}

// Failed lines stand out by a mark and a colour beside their words; the key's failure
// stands beside the result; what to check next follows the lines, wrapped to the window.
TEST_F(ResultsFormTest, FailuresAreMarkedAndWhatToCheckNextFollows) {
  QString note;
  QStringList steps;
  std::vector<LineMark> marks;
  QImage list;
  Show(RefusedRouteAndNoKey(), [&] {
    const auto* key_note = form.findChild<QLabel*>("lblKeyNote");
    note = key_note->isVisible() ? key_note->text() : QString();
    for (const QLabel* step : form.findChild<QWidget*>("pnlSteps")->findChildren<QLabel*>())
      if (step->isVisible()) steps << step->text();
    for (int i = 0; i < box()->Count(); ++i) marks.push_back(box()->Mark(i));
    list = box()->viewport()->grab().toImage();
  });
  EXPECT_EQ(lines, (QStringList{"Score\tRoute\tChange\tOutcome",
                                QString::fromUtf8("     0\tG1=1:2\t\u2014\tall 25 detail records arrived"),
                                QString::fromUtf8("    25\tG2=1:3\t\u2014\trefused the connection"), "",
                                "Public key: not received: no key"}));
  EXPECT_EQ(marks, (std::vector<LineMark>{LineMark::None, LineMark::None, LineMark::Failed, LineMark::None,
                                          LineMark::Failed}));
  EXPECT_EQ(note, "Public key not received: no key");
  EXPECT_EQ(steps, (QStringList{"What to check next:",
                                QString::fromUtf8("G2 \u2014 ") + NextStepOf(OutcomeKind::RouteRefused),
                                QString::fromUtf8("Public key \u2014 ") + NextStepOf(OutcomeKind::KeyNotReceived)}));
  // The failed line is drawn in the colour of failure, mark and words; the others not.
  const auto failure_pixels = [&](int row) {
    int count = 0;
    const QRect rect = box()->visualRect(box()->model()->index(row, 0)).intersected(list.rect());
    for (int y = rect.top(); y <= rect.bottom(); ++y)
      for (int x = rect.left(); x <= rect.right(); ++x) {
        const QColor c = list.pixelColor(x, y);
        count += c.red() > 120 && c.green() < 80 && c.blue() < 80;
      }
    return count;
  };
  EXPECT_GT(failure_pixels(2), 20);
  EXPECT_EQ(failure_pixels(1), 0);

  RunSnapshot fine = RefusedRouteAndNoKey();  // nothing to check
  fine.result_code = 1;
  fine.routes.pop_back();
  fine.key = KeyResult{.outcome = KeyOutcome::Received, .bytes = 1184};
  Show(fine);
  EXPECT_FALSE(form.findChild<QWidget*>("pnlSteps")->isVisibleTo(&form));
  EXPECT_FALSE(form.findChild<QLabel*>("lblKeyNote")->isVisibleTo(&form));
}

// Every result has its icon, and a stop's is not a failure's.
TEST_F(ResultsFormTest, TheStoppedResultHasAnIconOfItsOwn) {
  RunSnapshot run;
  run.finished = true;
  std::map<BannerKind, QImage> icons;
  for (const auto& [code, stopped] : std::vector<std::pair<int, bool>>{{1, false}, {2, false}, {0, false}, {0, true}}) {
    run.result_code = code;
    run.stopped = stopped;
    const BannerView banner = BannerOf(run);
    icons[banner.kind] = BannerIcon(banner, 24, &form).toImage();
    EXPECT_FALSE(icons[banner.kind].isNull());
  }
  ASSERT_EQ(icons.size(), 4u);
  for (const auto& [kind, icon] : icons) {
    if (kind != BannerKind::Stopped) {
      EXPECT_NE(icon, icons[BannerKind::Stopped]) << static_cast<int>(kind);
    }
  }
  QImage shown;
  Show(run, [&] { shown = form.findChild<QLabel*>("lblResultIcon")->pixmap().toImage(); });
  EXPECT_EQ(shown.size(), QSize(label()->fontMetrics().height(), label()->fontMetrics().height()) * shown.devicePixelRatio());
  EXPECT_EQ(shown, BannerIcon(BannerOf(run), label()->fontMetrics().height(), &form).toImage());
}

// The window opens over the one that ran the test, as wide as its lines need.
TEST_F(ResultsFormTest, OpensCentredOverItsOwnerAsWideAsItsLines) {
  QWidget owner;
  owner.setGeometry(60, 40, 621, 464);
  owner.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
  form.SetOwnerWindow(&owner);
  for (const std::string& entry : {std::string("G=1.2.3.4:5"), "Gateway-with-a-long-name=" + std::string(20, '1')}) {
    QRect at;
    int sideways = -1;
    RunSnapshot run = RefusedRouteAndNoKey();
    run.routes[0].entry = entry;
    Show(run, [&] {
      at = form.geometry();
      sideways = box()->horizontalScrollBar()->maximum();
    });
    SCOPED_TRACE(entry);
    EXPECT_NEAR(at.center().x(), owner.geometry().center().x(), 2);
    EXPECT_NEAR(at.center().y(), owner.geometry().center().y(), 2);
    EXPECT_EQ(sideways, 0);  // every line shows whole
    EXPECT_LE(at.width(), std::max(459, box()->HorizontalExtent() + 4 * box()->AverageCharWidth() + 40));
  }
}

// Save Report… proposes a name with the run's date and time and says where it saved.
TEST_F(ResultsFormTest, SaveReportProposesADatedNameAndSaysWhereItSaved) {
  QTemporaryDir dir;
  const QString path = dir.filePath("report.html");
  RunSnapshot run = RefusedRouteAndNoKey();
  run.start_time = std::chrono::system_clock::from_time_t(QDateTime(QDate(2026, 12, 8), QTime(5, 19, 9)).toSecsSinceEpoch());
  QString proposed, saved;
  int seen = 0;
  ModalWatcher watcher([&](QWidget* modal) {
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();
    } else if (seen++ == 0) {
      QTimer::singleShot(0, [&] { form.findChild<QPushButton*>("btnSaveReport")->click(); });
    } else {
      saved = form.findChild<QLabel*>("lblSaved")->text();
      form.reject();
    }
  });
  EndedRun ended;
  ended.run = run;
  ended.results = MakeResults(run, std::nullopt);
  form.ShowResults(ended);
  EXPECT_EQ(proposed, "zelvan-probe-report-2026-12-08-051909.html");
  EXPECT_EQ(saved, "Report saved to " + QDir::toNativeSeparators(path));
  EXPECT_TRUE(QFileInfo(path).size() > 0);
}

// A route text comes from the network: what is no text is shown escaped, never as layout.
TEST_F(ResultsFormTest, ControlsAndBytesThatAreNoTextShowEscaped) {
  Show(1, {{std::string("R\xE9=1\x7F\x1B[2J", 9), 3}});
  EXPECT_EQ(lines[1], QString::fromUtf8("     3\tR\\xE9=1\\x7F\\x1B[2J\t\u2014\t3 of 25 detail records missing"));
}

}  // namespace
}  // namespace zp::test
