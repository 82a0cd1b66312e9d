// How fast the window takes trace lines from a worker: each line takes the whole road
// (the worker's Trace, the hand-over to the window thread, the run's trace handler, the
// window's list) with the window shown, so that the list repaints as it would on screen.
// Run with 10 lines and with 100 000 lines already in the list: the cost per line
// should not change.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "BenchApplication.h"
#include "../TraceLines.h"
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "app/ProbeForm.h"
#include "app/TabBox.h"
#include "app/TraceList.h"
#include "client/ProbeExpressClientThread.h"

namespace {

using zp::bench::EnsureApplication;

using zp::bench::kBatch;
using zp::bench::TraceText;

// A worker whose route discovery traces a batch of lines each time it is signalled,
// until it is stopped.
class TracingWorker : public zp::ZExpressTcpClientThread {
 public:
  TracingWorker(const std::string& name, zp::ZTraceEvent on_trace, const zp::RunSettings& s,
                std::shared_ptr<zp::Invoker> invoker)
      : ZExpressTcpClientThread(name, std::move(on_trace), s.server, s.port, s.route_code, std::move(invoker)) {}
  ~TracingWorker() override {
    Terminate();
    WaitFinished();
  }
  void RequestBatch() {
    FDone = false;
    Signal();
  }
  bool BatchDone() const { return FDone; }

 protected:
  void DiscoverRoutes() override {
    while (!Terminated()) {
      if (WaitForEvent(1000) != zp::WaitSignalled) continue;
      for (int i = 0; i < kBatch; ++i) Trace(TraceText(i));
      FDone = true;
      QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);  // wakes the window thread
    }
  }

 private:
  std::atomic<bool> FDone{false};
};

// The wizard on its Process page, shown, running a test whose worker traces on
// request, with `lines` trace lines listed.
struct ShownWindow {
  explicit ShownWindow(int lines) {
    form.SetWorkerFactory([this](const std::string& name, zp::ZTraceEvent on_trace, const zp::RunSettings& s,
                                 std::shared_ptr<zp::Invoker> invoker) {
      auto made = std::make_unique<TracingWorker>(name, std::move(on_trace), s, std::move(invoker));
      worker = made.get();
      return std::unique_ptr<zp::ZExpressTcpClientThread>(std::move(made));
    });
    form.show();
    (void)QTest::qWaitForWindowExposed(&form);
    form.findChild<QPushButton*>("btnWelcomeNext")->click();
    form.findChild<QRadioButton*>("rgSelectItem0")->setChecked(true);  // its server is filled in
    form.findChild<QPushButton*>("btnSelectNext")->click();
    form.findChild<QPushButton*>("btnProcessTest")->click();
    Reset(lines);
  }
  // Empties the list (Back; the test runs on) and lists `lines` lines.
  void Reset(int lines) {
    form.findChild<QPushButton*>("btnProcessBack")->click();
    form.findChild<QPushButton*>("btnSelectNext")->click();
    for (int i = 0; i < lines; ++i) form.AddTraceLine({"ExpressT", "Mon 12/07 00:17:09", TraceText(i)});
    form.TraceList().Flush();
    QCoreApplication::processEvents();
  }
  // One batch from the worker, served by the window thread's event loop, until it is
  // listed and painted: the burst that would show it a moment later is shown at once, so
  // that every batch, whatever the list holds, pays for one layout and one repaint.
  // Returns where the batch's lines start in the list.
  int HandOverBatch() {
    const int before = Count();
    worker->RequestBatch();
    // Traced is not yet listed: the lines come over in bursts of their own.
    while (!worker->BatchDone() || Count() < before + kBatch)
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    form.TraceList().Flush();
    QCoreApplication::processEvents();
    return before;
  }
  // The batch listed from `from` on holds its lines in the order they were traced.
  bool InOrder(int from) {
    const auto* box = form.findChild<zp::ZTabListBox*>("tlbTrace");
    for (int i = 0; i < kBatch; ++i)
      if (!box->Line(from + i).endsWith(QString::fromStdString(TraceText(i)))) return false;
    return true;
  }
  int Count() { return form.TraceList().Count(); }

  TracingWorker* worker = nullptr;  // owned by the window's run
  zp::TfrmProbe form;
};

void BM_TraceFromWorkerThread(benchmark::State& state) {
  EnsureApplication();
  const int preload = static_cast<int>(state.range(0));
  ShownWindow window(preload);
  window.HandOverBatch();  // warm-up: the first paints fill the glyph caches
  window.Reset(preload);
  for (auto _ : state) {
    const int from = window.HandOverBatch();
    state.PauseTiming();
    if (!window.InOrder(from)) state.SkipWithError("lines out of order");
    state.ResumeTiming();
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

// The window's own share: a batch appended on the window thread, shown and painted.
void BM_AppendOnWindowThread(benchmark::State& state) {
  EnsureApplication();
  const int preload = static_cast<int>(state.range(0));
  ShownWindow window(preload);
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) window.form.AddTraceLine({"ExpressT", "Mon 12/07 00:17:09", TraceText(i)});
    window.form.TraceList().Flush();
    QCoreApplication::processEvents();
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
