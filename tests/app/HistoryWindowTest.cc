// The window's side of the history: the change column of the results window, the
// History window's series and table, its shortcut on the main window, and Save Report.
#include <gtest/gtest.h>

#include <QAction>
#include <QChart>
#include <QLineSeries>
#include <QPushButton>
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

  std::filesystem::path dir_;
  std::shared_ptr<RunHistory> history_;
  TfrmResults results_;
};

TEST_F(HistoryWindowTest, ChangeColumnComparesWithThePreviousRunWithTheSameSettings) {
  // The first run with these settings: every route is new.
  EXPECT_EQ(ShowRecorded(Finished(1, {{"r1", 3, false, .5}, {"r2", 0, false, .4}, {"r3", 0, false, .3}}, 1'800'000'000'000))
                .mid(0, 2),
            (QStringList{"Score\tChange\tRoute\tOutcome", "     3\tnew\tr1=127.0.0.1:7000\t3 of 25 detail records missing"}));
  // Another server's run between them is not what the next run is compared with.
  ShowRecorded(Finished(2, {{"r1", 25, true, .1}}, 1'800'000'010'000, "10.0.0.9"));

  const std::string report = (dir_ / "report.html").string();
  bool saved = false;
  const QStringList lines = ShowRecorded(
      Finished(2, {{"r1", 0, false, .5}, {"r2", 25, true, .1}, {"r3", 0, false, .3}, {"r4", 1, false, .2}}, 1'800'000'020'000),
      [&] { saved = results_.SaveReport(QString::fromStdString(report)); });
  EXPECT_EQ(lines.mid(0, 5), (QStringList{"Score\tChange\tRoute\tOutcome",
                                          "     0\tbetter (was 3)\tr1=127.0.0.1:7000\tall 25 detail records arrived",
                                          "    25\tworse (was 0)\tr2=127.0.0.1:7000\tcould not connect: ",
                                          "     0\tsame\tr3=127.0.0.1:7000\tall 25 detail records arrived",
                                          "     1\tnew\tr4=127.0.0.1:7000\t1 of 25 detail records missing"}));
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

TEST_F(HistoryWindowTest, WithoutAHistoryTheColumnsStayAsTheyWere) {
  history_.reset();
  const QStringList lines = ShowRecorded(Finished(1, {{"r1", 0, false, .5}}, 1'800'000'000'000));
  EXPECT_EQ(lines[0], "Score\tRoute\tOutcome");
  EXPECT_FALSE(results_.findChild<QPushButton*>("btnHistory")->isEnabled());
}

TEST_F(HistoryWindowTest, HistoryWindowPlotsEachRouteInItsColourWithItsRunsResultAsTheShape) {
  const std::vector<RunSnapshot> runs = {
      Finished(1, {{"r1", 0, false, .5}, {"r2", 0, false, .25}}, 1'800'000'000'000),
      Finished(2, {{"r1", 0, false, .75}, {"r2", 25, true, .125}}, 1'800'000'060'000),
      Finished(1, {{"r1", 2, false, .5}}, 1'800'000'120'000),
  };
  for (const RunSnapshot& run : runs) {
    HistoryRun record = HistoryRunFrom(run, "test");
    ASSERT_TRUE(history_->Record(record)) << history_->LastError();
  }
  THistoryForm form(history_);
  for (QChart* chart : {form.ScoreChart(), form.TimeChart()}) {
    std::map<QString, QList<QPointF>> lines;
    int markers = 0;
    for (QAbstractSeries* s : chart->series()) {
      if (qobject_cast<QScatterSeries*>(s) != nullptr) markers += static_cast<int>(static_cast<QXYSeries*>(s)->count());
      else lines[s->name()] = static_cast<QXYSeries*>(s)->points();
    }
    ASSERT_EQ(lines.size(), 2u);  // one line per route
    EXPECT_EQ(markers, 5);        // one marker per point
    const bool score = chart == form.ScoreChart();
    EXPECT_EQ(lines["r1"].size(), 3);
    EXPECT_EQ(lines["r2"].size(), 2);
    EXPECT_EQ(lines["r2"][1].y(), score ? 25 : .125);
    EXPECT_EQ(lines["r1"][1].y(), score ? 0 : .75);
    EXPECT_EQ(lines["r1"][2].x(), 3.0);  // the runs are numbered
  }
  // The routes' colours come from the shared plot model.
  EXPECT_EQ(qobject_cast<QLineSeries*>(form.ScoreChart()->series()[0])->color(), QColor(ColourText(SeriesColourOf(0)).c_str()));
  QTableWidget* table = form.Table();
  ASSERT_EQ(table->rowCount(), 3);
  EXPECT_EQ(table->item(0, 0)->text(), "2027-01-15T08:02:00Z");  // newest first
  EXPECT_EQ(table->item(1, 1)->text(), "SOME ROUTES FAILED");
  EXPECT_EQ(table->item(1, 2)->text(), "r2");
  EXPECT_EQ(table->item(0, 2)->text(), "none");
}

TEST_F(HistoryWindowTest, ControlHOnTheMainWindowOpensTheHistoryWindow) {
  HistoryRun record = HistoryRunFrom(Finished(1, {{"r1", 0, false, .5}}, 1'800'000'000'000), "test");
  ASSERT_TRUE(history_->Record(record));
  TfrmProbe probe;
  probe.SetHistory(history_);
  auto* action = probe.findChild<QAction*>("actHistory");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
  int rows = -1;
  ModalWatcher watcher([&](QWidget* modal) {
    if (auto* history = qobject_cast<THistoryForm*>(modal)) rows = history->Table()->rowCount();
    static_cast<QDialog*>(modal)->reject();
  });
  probe.show();
  probe.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&probe));
  QTest::keyClick(&probe, Qt::Key_H, Qt::ControlModifier);
  EXPECT_EQ(rows, 1);
}

// A test the window stopped following, because a newer one started, is recorded too
// once its worker ends; the followed one is recorded once, when its results show.
}  // namespace
}  // namespace zp::test
