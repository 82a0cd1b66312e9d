// The window's side of the history: the change column of the results window, the
// History window's series and table, its shortcut on the main window, and Save Report.
#include <gtest/gtest.h>

#include <QAction>
#include <QChart>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QHelpEvent>
#include <QToolTip>
#include <QCategoryAxis>
#include <QLineSeries>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScatterSeries>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

#include "AppTestSupport.h"
#include "ProbeFormFixture.h"
#include "app/HistoryChart.h"
#include "app/HistoryForm.h"
#include "app/ProbeForm.h"
#include "app/ResultsForm.h"
#include "report/PlotModel.h"
#include "session/ResultLines.h"
#include "history/RunHistory.h"

namespace zp::test {
namespace {

struct R {
  const char* name;
  int score;
  bool failed;
  double seconds;
};

RunSnapshot Finished(std::int32_t code, const std::vector<R>& routes, long long start_ms, const char* server = "127.0.0.1") {
  RunSnapshot run;
  run.finished = true;
  run.result_code = code;
  run.settings = {server, 0x6900, "A"};
  run.start_time = std::chrono::system_clock::time_point(std::chrono::milliseconds(start_ms));
  for (const R& r : routes) {
    RouteResult result;
    result.name = r.name;
    result.entry = std::string(r.name) + "=127.0.0.1:7000";
    result.score = r.score;
    result.failed = r.failed;
    result.profile_seconds = r.seconds;
    result.outcome = r.failed ? RouteOutcome::ConnectFailed : RouteOutcome::Scored;
    run.routes.push_back(result);
  }
  return run;
}

class HistoryWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zp-apphist-" + std::to_string(getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    history_ = std::make_shared<RunHistory>((dir_ / "history.db").string());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Records the run as the main window does and shows it; the results window's lines.
  QStringList ShowRecorded(const RunSnapshot& run, const std::function<void()>& while_up = {}) {
    QStringList lines;
    ModalWatcher watcher([&](QWidget*) {
      lines = Lines(*results_.findChild<ZTabListBox*>("tlbResults"));
      if (while_up) while_up();
      QTest::mouseClick(results_.findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    });
    EndedRun ended = RecordEnded(history_.get(), run);
    ended.trace = {"ExpressT\tTue 12/08 04:50:12\tCurrentRoute <r2>"};
    results_.ShowResults(ended, history_);
    return lines;
  }

  void Record(const std::vector<RunSnapshot>& runs) {
    for (const RunSnapshot& run : runs) {
      HistoryRun record = HistoryRunFrom(run, "test");
      ASSERT_TRUE(history_->Record(record)) << history_->LastError();
    }
  }
  // The routes' lines of a chart by name (the marking's are no route's).
  static std::map<QString, QList<QPointF>> RouteLines(QChart* chart) {
    std::map<QString, QList<QPointF>> lines;
    for (QAbstractSeries* s : chart->series())
      if (auto* line = qobject_cast<QLineSeries*>(s); line != nullptr && line->objectName().isEmpty())
        lines[line->name()] = line->points();
    return lines;
  }

  std::filesystem::path dir_;
  std::shared_ptr<RunHistory> history_;
  TfrmResults results_;
};

TEST_F(HistoryWindowTest, ChangeColumnComparesWithThePreviousRunWithTheSameSettings) {
  // The first run with these settings: every route is new.
  EXPECT_EQ(ShowRecorded(Finished(1, {{"r1", 3, false, .5}, {"r2", 0, false, .4}, {"r3", 0, false, .3}}, 1'800'000'000'000))
                .mid(0, 2),
            (QStringList{"Score\tRoute\tChange\tOutcome", "     3\tr1=127.0.0.1:7000\tnew\t3 of 25 detail records missing"}));
  // Another server's run between them is not what the next run is compared with.
  ShowRecorded(Finished(2, {{"r1", 25, true, .1}}, 1'800'000'010'000, "10.0.0.9"));

  const std::string report = (dir_ / "report.html").string();
  bool saved = false;
  const QStringList lines = ShowRecorded(
      Finished(2, {{"r1", 0, false, .5}, {"r2", 25, true, .1}, {"r3", 0, false, .3}, {"r4", 1, false, .2}}, 1'800'000'020'000),
      [&] { saved = results_.SaveReport(QString::fromStdString(report)); });
  EXPECT_EQ(lines.mid(0, 5), (QStringList{"Score\tRoute\tChange\tOutcome",
                                          "     0\tr1=127.0.0.1:7000\tbetter (was 3)\tall 25 detail records arrived",
                                          "    25\tr2=127.0.0.1:7000\tworse (was 0)\tcould not connect: ",
                                          "     0\tr3=127.0.0.1:7000\tsame\tall 25 detail records arrived",
                                          "     1\tr4=127.0.0.1:7000\tnew\t1 of 25 detail records missing"}));
  EXPECT_EQ(history_->Count(), 3);
  // The columns line up whatever the width of the change.
  auto* box = results_.findChild<ZTabListBox*>("tlbResults");
  EXPECT_EQ(ColumnX(*box, lines[1], 2), ColumnX(*box, lines[3], 2));
  EXPECT_GT(ColumnX(*box, lines[1], 2), box->TextWidth(lines[1].section(u'\t', 0, 1)));

  ASSERT_TRUE(saved);
  std::stringstream page;
  page << std::ifstream(report).rdbuf();
  // The report says the change in the same words as the window.
  EXPECT_NE(page.str().find("<span class=\"worse\">worse (was 0)</span>"), std::string::npos);
  EXPECT_NE(page.str().find("CurrentRoute &lt;r2&gt;"), std::string::npos);
  EXPECT_NE(page.str().find("<svg"), std::string::npos);
}

TEST_F(HistoryWindowTest, WithoutAHistoryTheColumnsStayAndTheChangeIsADash) {
  history_.reset();
  const QStringList lines = ShowRecorded(Finished(1, {{"r1", 0, false, .5}}, 1'800'000'000'000));
  EXPECT_EQ(lines[0], "Score\tRoute\tChange\tOutcome");
  EXPECT_EQ(lines[1], QString::fromUtf8("     0\tr1=127.0.0.1:7000\t\u2014\tall 25 detail records arrived"));
  EXPECT_FALSE(results_.findChild<QPushButton*>("btnHistory")->isEnabled());
}

TEST_F(HistoryWindowTest, HistoryWindowPlotsEachRouteInItsColourWithItsRunsResultAsTheShape) {
  Record({Finished(1, {{"r1", 0, false, .5}, {"r2", 0, false, .25}}, 1'800'000'000'000),
          Finished(2, {{"r1", 0, false, .75}, {"r2", 25, true, .125}}, 1'800'000'060'000),
          Finished(1, {{"r1", 2, false, .5}}, 1'800'000'120'000)});
  THistoryForm form(history_);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  for (THistoryChart* view : {form.ScoreView(), form.TimeView()}) {
    const std::map<QString, QList<QPointF>> lines = RouteLines(view->chart());
    ASSERT_EQ(lines.size(), 2u);  // one line per route
    const bool score = view == form.ScoreView();
    EXPECT_EQ(lines.at("r1").size(), 3);
    EXPECT_EQ(lines.at("r2").size(), 2);
    EXPECT_EQ(lines.at("r2")[1].y(), score ? 25 : .125);
    EXPECT_EQ(lines.at("r1")[1].y(), score ? 0 : .75);
    EXPECT_EQ(lines.at("r1")[2].x(), 3.0);  // the runs are numbered
    // Each point in its route's colour and its run's shape, its tip under the pointer.
    const PlotModel& plot = view->Plot();
    ASSERT_EQ(plot.series.size(), 2u);
    EXPECT_EQ(plot.series[1].points[1].marker, MarkerShape::Triangle);
    const QPoint at = view->PointPosition(1, 1);
    EXPECT_EQ(view->TipAt(at), QString::fromStdString(plot.series[1].points[1].tip));
    EXPECT_EQ(view->TipAt(at + QPoint(40, 40)), "");
  }
  // The axes show the plot model's ticks: whole scores with room above 25, runs by number.
  for (THistoryChart* view : {form.ScoreView(), form.TimeView()}) {
    const PlotModel& plot = view->Plot();
    for (const auto& [axis, from] : {std::pair{view->chart()->axes(Qt::Vertical).front(), &plot.y},
                                     std::pair{view->chart()->axes(Qt::Horizontal).front(), &plot.x}}) {
      auto* ticks = qobject_cast<QCategoryAxis*>(axis);
      ASSERT_NE(ticks, nullptr);
      QStringList labels;
      for (const PlotTick& t : from->ticks) labels << QString::fromStdString(t.label);
      EXPECT_EQ(ticks->categoriesLabels(), labels);
      EXPECT_EQ(ticks->max(), from->max);
    }
  }
  EXPECT_EQ(qobject_cast<QCategoryAxis*>(form.ScoreChart()->axes(Qt::Vertical).front())->categoriesLabels(),
            (QStringList{"0", "5", "10", "15", "20", "25", "30"}));
  // The routes' colours come from the shared plot model.
  EXPECT_EQ(qobject_cast<QLineSeries*>(form.ScoreChart()->series()[0])->color(), QColor(ColourText(SeriesColourOf(0)).c_str()));
  QTableWidget* table = form.Table();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(table->item(0, 0)->text(), "3");  // the run's number in the plots
  EXPECT_EQ(table->item(0, 1)->text(), "2027-01-15T08:02:00Z");  // newest first
  EXPECT_EQ(table->item(1, 2)->text(), "SOME ROUTES FAILED");
  EXPECT_EQ(table->item(1, 3)->text(), "r2");
  EXPECT_EQ(table->item(0, 3)->text(), "none");

  // The pointer resting over a point shows its tip, and the tip stays; away from the
  // points it goes. The rest is the event Qt sends when the pointer pauses.
  THistoryChart* view = form.ScoreView();
  const auto rest = [&](QPoint at) {
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &help);
  };
  const QPoint over = view->PointPosition(0, 2);
  rest(over);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QToolTip::isVisible(); }, 2000));
  QTest::qWait(500);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), QString::fromStdString(view->Plot().series[0].points[2].tip));
  rest(over + QPoint(40, 40));
  EXPECT_TRUE(QTest::qWaitFor([&] { return !QToolTip::isVisible(); }, 2000));
}

// The window shows the runs with the settings the operator is looking at; a switch shows
// every run. A stopped run reads as stopped, not as one where nothing failed.
TEST_F(HistoryWindowTest, ShowsTheRunsWithTheCurrentSettingsOrWithAll) {
  RunSnapshot stopped = Finished(1, {{"r1", 0, false, .5}, {"r2", 0, false, 0}}, 1'800'000'180'000);
  stopped.stopped = true;
  stopped.routes[1].outcome = RouteOutcome::NotTried;
  Record({Finished(1, {{"r1", 0, false, .5}}, 1'800'000'000'000),
          Finished(2, {{"r1", 25, true, .1}}, 1'800'000'060'000, "10.0.0.9"),
          Finished(1, {{"r1", 1, false, .5}}, 1'800'000'120'000), stopped});
  THistoryForm form(history_, RunSettings{"127.0.0.1", 0x6900, "A"});
  QCheckBox* all = form.AllSettings();
  EXPECT_FALSE(all->isChecked());
  ASSERT_EQ(form.Shown().size(), 3u);
  for (const HistoryRun& run : form.Shown()) EXPECT_EQ(run.settings.server, "127.0.0.1");
  EXPECT_EQ(form.Table()->rowCount(), 3);
  EXPECT_EQ(form.findChild<QLabel*>("lblShowing")->text(), "Runs with 127.0.0.1:6900 A");
  EXPECT_EQ(form.Table()->item(0, 3)->text(), "stopped, 1 of 2 routes not scored");
  EXPECT_EQ(form.Table()->item(0, 2)->text(), "STOPPED");

  all->click();
  EXPECT_EQ(form.Shown().size(), 4u);
  EXPECT_EQ(form.Table()->rowCount(), 4);
  EXPECT_EQ(form.Table()->item(2, 4)->text(), "10.0.0.9:6900 A");
  EXPECT_EQ(RouteLines(form.ScoreChart()).at("r1").size(), 4);

  // Without settings to go by, every run, and no switch to turn.
  THistoryForm any(history_);
  EXPECT_EQ(any.Shown().size(), 4u);
  EXPECT_FALSE(any.AllSettings()->isEnabled());
}

// A run chosen in the table is marked in both plots; a click in a plot chooses its run.
TEST_F(HistoryWindowTest, ChoosingARunMarksItInBothPlotsAndAClickChoosesItsRow) {
  Record({Finished(1, {{"r1", 0, false, .5}, {"r2", 3, false, .4}}, 1'800'000'000'000),
          Finished(2, {{"r1", 1, false, .5}, {"r2", 25, true, .1}}, 1'800'000'060'000),
          Finished(1, {{"r1", 0, false, .5}, {"r2", 0, false, .3}}, 1'800'000'120'000)});
  THistoryForm form(history_);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.Table()->selectRow(1);  // the second newest: run 2
  for (THistoryChart* view : {form.ScoreView(), form.TimeView()}) {
    EXPECT_EQ(view->MarkedRun(), 1);
    ASSERT_EQ(view->MarkLine()->count(), 2);
    EXPECT_EQ(view->MarkLine()->at(0).x(), 2.0);
    EXPECT_EQ(view->MarkRings()->count(), 2);  // a ring round each route's point
  }
  EXPECT_EQ(form.ScoreView()->MarkRings()->at(1), QPointF(2, 25));

  QTest::mouseClick(form.TimeView()->viewport(), Qt::LeftButton, {}, form.TimeView()->PositionOf(0));
  EXPECT_EQ(form.Table()->currentRow(), 2);  // run 1 is the oldest, last in the table
  EXPECT_EQ(form.ScoreView()->MarkedRun(), 0);
  EXPECT_EQ(form.TimeView()->MarkedRun(), 0);
}

// At its first size the table shows every column whole, however long the settings.
TEST_F(HistoryWindowTest, TheTablesColumnsFitAtTheFirstSize) {
  Record({Finished(1, {{"r1", 0, false, .5}}, 1'800'000'000'000, "routes-primary.example.net"),
          Finished(2, {{"r1", 25, true, .5}, {"a-long-route", 25, true, .1}}, 1'800'000'060'000)});
  THistoryForm form(history_);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QTableWidget* table = form.Table();
  int columns = 0;
  for (int c = 0; c < table->columnCount(); ++c) {
    const int size = table->horizontalHeader()->sectionSize(c);
    for (int r = 0; r < table->rowCount(); ++r)
      EXPECT_LT(table->fontMetrics().horizontalAdvance(table->item(r, c)->text()), size) << r << " " << c;
    columns += size;
  }
  EXPECT_LE(columns, table->viewport()->width());
  EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
}

// History… is on Ctrl+H, a button of the Process page and the trace's menu; it opens on
// the runs with the settings typed.
TEST_F(HistoryWindowTest, TheMainWindowOpensTheHistoryOnTheSettingsTyped) {
  Record({Finished(1, {{"r1", 0, false, .5}}, 1'800'000'000'000),
          Finished(1, {{"r1", 0, false, .5}}, 1'800'000'060'000, "10.0.0.9")});
  TfrmProbe probe;
  probe.SetHistory(history_);
  auto* action = probe.findChild<QAction*>("actHistory");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
  auto* trace = probe.findChild<ZTabListBox*>("tlbTrace");
  EXPECT_TRUE(trace->actions().contains(action));
  EXPECT_EQ(trace->contextMenuPolicy(), Qt::ActionsContextMenu);
  std::vector<std::size_t> shown;
  ModalWatcher watcher([&](QWidget* modal) {
    if (auto* history = qobject_cast<THistoryForm*>(modal)) shown.push_back(history->Shown().size());
    static_cast<QDialog*>(modal)->reject();
  });
  probe.show();
  probe.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&probe));
  probe.findChild<QPushButton*>("btnWelcomeNext")->click();
  probe.findChild<QRadioButton*>("rgSelectItem1")->setChecked(true);
  probe.findChild<QLineEdit*>("edServer")->setText("10.0.0.9");
  probe.findChild<QPushButton*>("btnSelectNext")->click();
  QTest::keyClick(&probe, Qt::Key_H, Qt::ControlModifier);
  auto* button = probe.findChild<QPushButton*>("btnProcessHistory");
  ASSERT_TRUE(button->isVisible());
  button->click();
  action->trigger();  // as the trace's menu does
  EXPECT_EQ(shown, (std::vector<std::size_t>{1, 1, 1}));
}

// A test the window stopped following, because a newer one started, is recorded too
// once its worker ends; the followed one is recorded once, when its results show.
}  // namespace
}  // namespace zp::test
