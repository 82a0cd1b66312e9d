// How long the History window takes to open over a full history: 5000 recorded runs of
// 10 routes (the bound a history keeps by default), from two settings, some of them with
// failed routes and some stopped. One iteration builds the window (it reads the history)
// as the main window opens it, on the runs with the settings of the last test, shows it
// and serves its events until both charts and the table have painted and no further
// paint follows. The settings are those of two runs in three (argument 0), or of none,
// so that the whole history is read (1). The aim: at most 0.5 s.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "BenchApplication.h"
#include <QChartView>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/HistoryForm.h"
#include "history/RunHistory.h"

namespace {

using zp::bench::EnsureApplication;

constexpr int kRuns = 5000;
constexpr int kRoutes = 10;

zp::HistoryRun MakeRun(int i) {
  zp::HistoryRun run;
  run.start_utc_ms = 1'800'000'000'000LL + i * 300'000LL;  // one run every five minutes
  run.settings = {i % 3 == 0 ? "10.0.0.9" : "127.0.0.1", 0x6900, "A"};
  run.stopped = i % 97 == 0;
  run.elapsed_seconds = 3.25;
  run.key_outcome = "received";
  run.version = "bench";
  int failed = 0;
  for (int r = 0; r < kRoutes; ++r) {
    zp::HistoryRoute route;
    route.name = "r" + std::to_string(r + 1);
    route.entry = route.name + "=127.0.0.1:" + std::to_string(40001 + r);
    const bool fails = (i + r) % 23 == 0;
    const bool unscored = run.stopped && r >= kRoutes / 2;
    if (!unscored) route.score = fails ? 25 : (i * 7 + r) % 4;
    route.failed = fails && !unscored;
    route.profile_seconds = 0.05 + ((i + r) % 10) * 0.01;
    route.outcome = unscored ? "not_tried" : fails ? "connect_failed" : "scored";
    route.reason = fails ? "refused the connection" : "all 25 detail records arrived";
    failed += route.failed;
    run.routes.push_back(route);
  }
  run.banner = run.stopped ? "STOPPED" : failed == 0 ? "SUCCESS" : "SOME ROUTES FAILED";
  run.result_code = failed == 0 ? 1 : 2;
  return run;
}

// The history file, written once per process: in memory-backed storage where there is
// some, as each run is one synchronised transaction.
const std::string& HistoryFile() {
  static const std::string path = [] {
    const std::filesystem::path shm("/dev/shm");
    const std::filesystem::path dir =
        (std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
        ("zp-history-bench-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string file = (dir / "history.db").string();
    zp::RunHistory history(file);
    for (int i = 0; i < kRuns; ++i) {
      zp::HistoryRun run = MakeRun(i);
      if (!history.Record(run)) break;
    }
    std::atexit([] { std::filesystem::remove_all(std::filesystem::path(HistoryFile()).parent_path()); });
    return file;
  }();
  return path;
}

// Counts the paints of the widgets it watches.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Opens the window over the history, shows it and serves events until it has drawn.
// False when something did not paint.
bool OpenAndDraw(const std::shared_ptr<zp::RunHistory>& history, const zp::RunSettings& current) {
  zp::THistoryForm form(history, current);
  PaintCounter counter;
  std::vector<QWidget*> watched;
  for (auto* view : form.findChildren<QChartView*>()) watched.push_back(view->viewport());
  for (auto* table : form.findChildren<QTableView*>()) watched.push_back(table->viewport());
  for (QWidget* w : watched) w->installEventFilter(&counter);
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return false;
  // The charts place their series once laid out, which asks for another paint: serve
  // events until a pass paints nothing new.
  int before = -1;
  for (int pass = 0; pass < 100 && counter.paints != before; ++pass) {
    before = counter.paints;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  return counter.paints >= static_cast<int>(watched.size());
}

void BM_HistoryWindowOpensAndDraws5000Runs(benchmark::State& state) {
  EnsureApplication();
  auto history = std::make_shared<zp::RunHistory>(HistoryFile());
  if (history->Count().value_or(0) != kRuns) {
    state.SkipWithError(("history not written: " + history->LastError()).c_str());
    return;
  }
  const zp::RunSettings current{state.range(0) == 0 ? "127.0.0.1" : "192.0.2.1", 0x6900, "A"};
  for (auto _ : state)
    if (!OpenAndDraw(history, current)) state.SkipWithError("the window did not draw");
}
BENCHMARK(BM_HistoryWindowOpensAndDraws5000Runs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
