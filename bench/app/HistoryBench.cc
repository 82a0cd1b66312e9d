// How long the History window takes to open over a full history: 5000 recorded runs of
// 10 routes (the bound of earlier versions), and 105,120 (a year of the periodic check, one
// run every 5 minutes), from two settings, some of them with failed routes and some
// stopped, recorded through the history's own code. One iteration builds the window (it
// reads the history) as the main window opens it, on the runs with the settings of the
// last test, shows it and serves its events until both charts and the table have painted
// and no further paint follows. The settings are those of two runs in three (argument 0),
// or there are none, before any test, so that the window shows the runs of every setting
// (1). The aim: at most 0.5 s.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "BenchApplication.h"
#include <QChartView>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

#include "../HistoryRuns.h"
#include "app/HistoryForm.h"
#include "history/RunHistory.h"

namespace {

using zp::bench::EnsureApplication;

// The history file of `runs` runs, written once per process: in memory-backed storage
// where there is some, as each run is one synchronised transaction.
const std::string& HistoryFile(long long runs) {
  static std::map<long long, std::string> files;
  auto found = files.find(runs);
  if (found != files.end()) return found->second;
  const std::filesystem::path shm("/dev/shm");
  const std::filesystem::path dir = (std::filesystem::is_directory(shm) ? shm : std::filesystem::temp_directory_path()) /
                                    ("zp-history-bench-" + std::to_string(getpid()));
  if (files.empty()) {
    std::filesystem::remove_all(dir);
    std::atexit([] { std::filesystem::remove_all(std::filesystem::path(files.begin()->second).parent_path()); });
  }
  std::filesystem::create_directories(dir);
  const std::string file = (dir / ("history-" + std::to_string(runs) + ".db")).string();
  zp::RunHistory history(file, static_cast<int>(runs));
  for (long long i = 0; i < runs; ++i) {
    zp::HistoryRun run = zp::bench::BenchRun(i);
    if (!history.Record(run)) break;
  }
  return files.emplace(runs, file).first->second;
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
bool OpenAndDraw(const std::shared_ptr<zp::RunHistory>& history, const std::optional<zp::RunSettings>& current) {
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

void HistoryWindow(benchmark::State& state, long long runs) {
  EnsureApplication();
  auto history = std::make_shared<zp::RunHistory>(HistoryFile(runs));
  if (history->Count().value_or(0) != runs) {
    state.SkipWithError(("history not written: " + history->LastError()).c_str());
    return;
  }
  std::optional<zp::RunSettings> current;
  if (state.range(0) == 0) current = zp::RunSettings{"127.0.0.1", 0x6900, "A"};
  for (auto _ : state)
    if (!OpenAndDraw(history, current)) state.SkipWithError("the window did not draw");
}

void BM_HistoryWindowOpensAndDraws5000Runs(benchmark::State& state) { HistoryWindow(state, 5000); }
BENCHMARK(BM_HistoryWindowOpensAndDraws5000Runs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HistoryWindowOpensAndDraws105120Runs(benchmark::State& state) { HistoryWindow(state, 105120); }
BENCHMARK(BM_HistoryWindowOpensAndDraws105120Runs)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
