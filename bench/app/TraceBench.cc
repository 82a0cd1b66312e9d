// How fast the window takes trace lines: each line is handed from a worker thread to
// the window thread and appended (the way a packet's header line arrives), with the
// window shown so that the list repaints as it would on screen. Run with 10 lines and
// with 100 000 lines already in the list: the cost per line should not change.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "app/ProbeForm.h"
#include "app/TabBox.h"

namespace {

constexpr int kBatch = 1000;

void EnsureApplication() {
  static QApplication* app = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "app_bench";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);  // lives to the end of the process
  }();
  (void)app;
}

std::string TraceText(int i) {
  char text[96];
  std::snprintf(text, sizeof text, "Rx 0016: 30 30 30 41 20 20 20 20 20 30 30 30 30 %04d", i % 10000);
  return text;
}

// The wizard on its Process page, shown, holding `lines` trace lines.
struct ShownWindow {
  explicit ShownWindow(int lines) {
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    form.findChild<QPushButton*>("btnWelcomeNext")->click();
    form.findChild<QRadioButton*>("rgSelectItem1")->setChecked(true);
    form.findChild<QPushButton*>("btnSelectNext")->click();
    Fill(lines);
  }
  void Fill(int lines) {
    for (int i = 0; i < lines; ++i) form.AddTraceLine("ExpressT", TraceText(i));
    QCoreApplication::processEvents();
  }
  void Reset(int lines) {
    form.findChild<QPushButton*>("btnProcessBack")->click();
    form.findChild<QPushButton*>("btnSelectNext")->click();
    Fill(lines);
  }
  int Count() { return form.findChild<zp::ZTabListBox*>("tlbTrace")->Count(); }

  zp::TfrmProbe form;
};

// One batch of lines from a worker thread, served by the window thread's event loop.
void HandOverBatch(ShownWindow& window) {
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 0; i < kBatch; ++i) window.form.AddTraceLine("ExpressT", TraceText(i));
    finished = true;
    QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);  // wakes the loop below
  });
  while (!finished) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  worker.join();
}

void BM_TraceFromWorkerThread(benchmark::State& state) {
  EnsureApplication();
  const int preload = static_cast<int>(state.range(0));
  ShownWindow window(preload);
  HandOverBatch(window);  // warm-up: the first paints fill the glyph caches
  if (preload < kBatch) window.Reset(preload);
  for (auto _ : state) {
    HandOverBatch(window);
    if (preload < kBatch) {
      state.PauseTiming();
      window.Reset(preload);  // keep the list short
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["lines_in_list_at_end"] = window.Count();
}
BENCHMARK(BM_TraceFromWorkerThread)->Arg(10)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The append alone, on the window thread, without painting in between.
void BM_AppendOnWindowThread(benchmark::State& state) {
  EnsureApplication();
  const int preload = static_cast<int>(state.range(0));
  ShownWindow window(preload);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) window.form.AddTraceLine("ExpressT", TraceText(i));
    if (preload < kBatch) {
      state.PauseTiming();
      window.Reset(preload);
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
  state.counters["lines_in_list_at_end"] = window.Count();
}
BENCHMARK(BM_AppendOnWindowThread)->Arg(10)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
