// The window's history: each test is recorded and the console runner lists it; the
// results window shows the change and saves the report; the History window's GDI painter
// draws each route's series of the shared plot model where the model puts its points.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "WinFormFixture.h"
#include "history/RunHistory.h"
#include "support/ProcessRunner.h"
#include "winapp/WinHistoryForm.h"
#include "winapp/WinPlotPainter.h"
#include "winapp/WinText.h"

namespace zp::test {
namespace {

std::filesystem::path TempFolder(const char* what) {
  const auto dir = std::filesystem::temp_directory_path() / (std::string("zp-winhist-") + what + "-" +
                                                             std::to_string(CurrentProcessId()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

HistoryRun Recorded(long long minute, const char* banner, int r1, int r2) {
  HistoryRun run;
  run.start_utc_ms = 1'796'000'000'000 + minute * 60'000;
  run.settings = {"127.0.0.1", 0x6900, "A"};
  run.banner = banner;
  run.result_code = 1;
  for (const auto& [name, score] : {std::pair{"r1", r1}, std::pair{"r2", r2}}) {
    HistoryRoute route;
    route.entry = std::string(name) + "=127.0.0.1:1";
    route.name = name;
    route.score = score;
    route.failed = score >= 25;
    route.profile_seconds = 0.5 + score / 10.0;
    route.outcome = route.failed ? "failed" : "passed";
    route.reason = route.failed ? "refused the connection" : "passed";
    run.routes.push_back(route);
  }
  return run;
}

TEST(WinHistoryWindow, ThePainterDrawsEveryRoutesSeriesWhereTheModelPutsItsPoints) {
  InitControls();
  const auto dir = TempFolder("plot");
  auto history = std::make_shared<RunHistory>((dir / "history.db").string());
  // r1 gets worse, then fails; r2 stays well.
  for (HistoryRun run : {Recorded(0, "SUCCESS", 0, 1), Recorded(5, "SUCCESS", 3, 0), Recorded(10, "SOME ROUTES FAILED", 25, 2)})
    ASSERT_TRUE(history->Record(run)) << history->LastError();
  WinHistoryForm form(nullptr, history);
  ShowWindow(form.Window(), SW_SHOW);
  Pump(50);
  EXPECT_NE(form.Note().find(L"3 runs recorded in "), std::wstring::npos);
  EXPECT_EQ(ListLines(form.ControlById(WinHistoryForm::kRuns)).size(), 3u);

  for (const int id : {WinHistoryForm::kScore, WinHistoryForm::kTime}) {
    SCOPED_TRACE(id);
    const PlotModel& plot = form.Plot(id);
    ASSERT_EQ(plot.series.size(), 2u);
    HWND view = form.ControlById(id);
    RECT area{};
    GetClientRect(view, &area);
    const int w = area.right, h = area.bottom;
    const std::vector<COLORREF> pixels = Painted(view);
    const WinPlotPainter painter(plot, area, DpiOf(view));
    const auto colour_near = [&](POINT at, COLORREF colour) {
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int x = at.x + dx, y = at.y + dy;
          if (x >= 0 && y >= 0 && x < w && y < h && pixels[static_cast<std::size_t>(y * w + x)] == colour) return true;
        }
      return false;
    };
    for (const PlotSeries& series : plot.series) {
      const COLORREF colour = RGB((series.colour >> 16) & 0xFF, (series.colour >> 8) & 0xFF, series.colour & 0xFF);
      ASSERT_EQ(series.points.size(), 3u) << series.name;
      for (const PlotPoint& p : series.points) {
        const POINT at = painter.At(p.x, p.y);
        EXPECT_TRUE(colour_near(at, colour)) << series.name << " run " << p.x;
        // Between two points the line is drawn in the route's colour too.
        if (&p != &series.points.back()) {
          const PlotPoint& next = (&p)[1];
          const POINT b = painter.At(next.x, next.y);
          EXPECT_TRUE(colour_near({(at.x + b.x) / 2, (at.y + b.y) / 2}, colour)) << series.name << " after " << p.x;
        }
      }
    }
    // r1's failing run is drawn above its passing ones, and later runs to the right.
    const auto& r1 = plot.series[0].points;
    EXPECT_LT(painter.At(r1[2].x, r1[2].y).y, painter.At(r1[0].x, r1[0].y).y);
    EXPECT_GT(painter.At(r1[2].x, r1[2].y).x, painter.At(r1[0].x, r1[0].y).x);
    // The point under the mouse names its run in the bottom line.
    const POINT last = painter.At(r1[2].x, r1[2].y);
    SendMessageW(view, WM_MOUSEMOVE, 0, MAKELPARAM(last.x, last.y));
    EXPECT_EQ(form.Note(), WordsW(r1[2].tip));
  }
  std::error_code ignored;  // the window may still hold the file open; the next run starts afresh
  std::filesystem::remove_all(dir, ignored);
}

// A route named outside the ANSI code page reads as itself in both plots' legends.
TEST(WinHistoryWindow, TheLegendsNameARouteAsItIsCalled) {
  InitControls();
  const auto dir = TempFolder("legend");
  auto history = std::make_shared<RunHistory>((dir / "history.db").string());
  const std::string name = "Z\u00FCrich\u2014\u03B2";
  HistoryRun run = Recorded(0, "SUCCESS", 0, 1);
  run.routes[1].name = name;
  run.routes[1].entry = name + "=127.0.0.1:1";
  ASSERT_TRUE(history->Record(run)) << history->LastError();
  WinHistoryForm form(nullptr, history);
  ShowWindow(form.Window(), SW_SHOW);
  Pump(50);
  for (const int id : {WinHistoryForm::kScore, WinHistoryForm::kTime}) {
    const std::vector<std::wstring> texts = TextsPainted(form.ControlById(id));
    std::wstring all;
    for (const std::wstring& t : texts) all += t + L" | ";
    EXPECT_NE(std::find(texts.begin(), texts.end(), L"Z\u00FCrich\u2014\u03B2"), texts.end()) << id << ": " << Utf8(all);
  }
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

TEST_F(WinFormTest, EachTestIsRecordedWithItsChangeTheReportHasThemAndTheConsoleRunnerListsThem) {
  const auto dir = TempFolder("form");
  const std::string db = (dir / "history.db").string();
  form->SetHistory(std::make_shared<RunHistory>(db));
  FakeWorker::Script script;
  script.discover = [](FakeWorker& w) { w.AddRoute("G1=1.1.1.1:1", 3); };
  script.profile = [](FakeWorker& w) { w.ScoreRoute(0, 3); };
  Test(1, script);
  ASSERT_TRUE(WaitForResults(1));
  Click(C(Ui::kProcessTest));
  ASSERT_TRUE(WaitForResults(2));
  // The first test has nothing to compare with; the second is the same as the first.
  EXPECT_EQ(shown[0].lines[0], L"Score\tRoute\tChange\tOutcome");
  EXPECT_EQ(shown[0].lines[1], L"     3\tG1=1.1.1.1:1\tnew\t3 of 25 detail records missing");
  EXPECT_EQ(shown[1].lines[1], L"     3\tG1=1.1.1.1:1\tsame\t3 of 25 detail records missing");
  EXPECT_TRUE(Enabled(results->ControlById(WinResultsForm::kHistory)));

  const std::wstring report = WordsW((dir / "report.html").string());
  ASSERT_TRUE(results->SaveReport(report));
  const std::string page = ReadFile(dir / "report.html");
  EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_NE(page.find("G1=1.1.1.1:1"), std::string::npos);

  Program cli({ZP_CLI_PROGRAM, "--history", "--history-db", db});
  ASSERT_EQ(cli.Finish(30), 0) << cli.err;
  std::istringstream listed(cli.out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(listed, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 2u) << cli.out;
  for (const std::string& line : lines) EXPECT_NE(line.find("0 of 1 routes failed"), std::string::npos) << line;
  std::error_code ignored;  // the window may still hold the file open; the next run starts afresh
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace
}  // namespace zp::test
