// How fast the native window takes trace lines from a worker, the way bench/app measures
// the Qt window: each line takes the whole road (the worker's Trace, the hand-over to the
// window thread, the session, the window's list) with the window shown. It prints the
// lines per second with 10 and with 100 000 lines listed and the cost of a line with the
// long list against the short one, and fails when a batch is listed out of order.
//
// usage: zp_winapp_trace_bench.exe [--quick]   (under Wine: scripts/wine-run.sh)
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "WinDriver.h"
#include "../TraceLines.h"
#include "client/ProbeExpressClientThread.h"
#include "winapp/WinProbeForm.h"
#include "winapp/WinText.h"
#include "winapp/WinTraceList.h"

namespace {

using zp::test::Click;
using zp::test::PumpUntil;

using zp::bench::kBatch;
using zp::bench::TraceText;

// A worker whose route discovery traces a batch of lines each time it is signalled.
class TracingWorker : public zp::ZExpressTcpClientThread {
 public:
  using ZExpressTcpClientThread::ZExpressTcpClientThread;
  ~TracingWorker() override {
    Terminate();
    WaitFinished();
  }
  void RequestBatch() { Signal(); }

 protected:
  void DiscoverRoutes() override {
    while (!Terminated()) {
      if (WaitForEvent(1000) != zp::WaitSignalled) continue;
      for (int i = 0; i < kBatch; ++i) Trace(TraceText(i));
    }
  }
};

struct Window {
  Window() {
    zp::test::InitControls();
    form.SetWorkerFactory([this](const std::string& name, zp::ZTraceEvent on_trace, const zp::RunSettings& s,
                                 std::shared_ptr<zp::Invoker> invoker) {
      auto made = std::make_unique<TracingWorker>(name, std::move(on_trace), s.server, s.port, s.route_code,
                                                  std::move(invoker));
      worker = made.get();
      return std::unique_ptr<zp::ZExpressTcpClientThread>(std::move(made));
    });
    ShowWindow(form.Window(), SW_SHOW);
    using Ui = zp::WinProbeFormUi;
    Click(form.Control(Ui::kWelcomeNext));
    Click(form.Control(Ui::kSelectItem0));  // its server is filled in
    Click(form.Control(Ui::kSelectNext));
    Click(form.Control(Ui::kProcessTest));
  }
  ~Window() { form.StopWorkers(); }

  // Empties the list (Back; the test runs on) and lists `lines` lines.
  void Reset(int lines) {
    form.TraceList().Clear(true);
    for (int i = 0; i < lines; ++i) form.AddTraceLine({"ExpressT", "Mon 12/07 00:17:09", TraceText(i)});
    form.TraceList().Flush();
    zp::test::Pump(0);
  }
  // One batch from the worker until it is listed; false when out of order.
  bool Batch() {
    const int before = form.TraceList().Count();
    worker->RequestBatch();
    PumpUntil([&] { return form.TraceList().Count() >= before + kBatch; }, 60000);
    form.TraceList().Flush();
    for (int i = 0; i < kBatch; ++i)
      if (form.TraceList().Line(before + i).find(zp::BytesW(TraceText(i))) == std::wstring::npos) return false;
    return true;
  }

  TracingWorker* worker = nullptr;
  zp::WinProbeForm form;
};

// Lines a second over `rounds` batches, with `preload` lines listed before the first. The
// list grows by each batch as it does under a worker: emptying it between batches would
// time the first batch after a clear each round, which a list box serves at its own pace.
double Rate(Window& window, int preload, int rounds, bool& in_order) {
  window.Reset(preload);
  in_order = window.Batch() && in_order;  // warm-up
  window.Reset(preload);
  const auto t0 = std::chrono::steady_clock::now();
  for (int r = 0; r < rounds; ++r) in_order = window.Batch() && in_order;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return rounds * kBatch / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int rounds = quick ? 2 : 20;
  Window window;
  bool in_order = true;
  const double shorter = Rate(window, 10, rounds, in_order);
  const double longer = Rate(window, 100000, rounds, in_order);
  std::printf("lines/s with 10 listed:      %10.0f\n", shorter);
  std::printf("lines/s with 100000 listed:  %10.0f   (aim: at least 20000)\n", longer);
  std::printf("cost per line, long/short:   %10.2f   (aim: at most 1.20)\n", shorter / longer);
  std::printf("lines in order:              %10s\n", in_order ? "yes" : "NO");
  {
    // The window's own share: lines appended on its thread and listed.
    window.Reset(10);
    const auto t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) {
      for (int i = 0; i < kBatch; ++i) window.form.AddTraceLine({"ExpressT", "Mon 12/07 00:17:09", TraceText(i)});
      window.form.TraceList().Flush();
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("appended on the window thread: %8.0f lines/s\n", rounds * kBatch / s);
  }
  return in_order ? 0 : 1;
}
