#pragma once
#include <QObject>
#include <atomic>
#include <memory>

#include "platform/HandOverQueue.h"
#include "platform/Invoker.h"

namespace zp {

// Hand-overs to the window thread through Qt's event loop. A worker's call becomes a
// posted event; the window thread runs it whenever it processes events, including
// inside modal boxes and inside WaitServing.
//
// Construct it on the window thread; it must outlive every worker given it (workers
// hold it by shared pointer).
class QtInvoker final : public QObject, public Invoker {
  Q_OBJECT
 public:
  QtInvoker();
  ~QtInvoker() override;

  bool RunAndWait(const std::function<void()>& fn) override;
  bool Post(std::function<void()> fn) override;
  // On the window thread: processes events (so hand-overs, clicks and timers run)
  // until `ev` is set or `ms` tick milliseconds pass without a hand-over. Once the
  // invoker is closed it serves nothing and gives up within kClosedWaitMs.
  WaitResult WaitServing(Event& ev, long ms) override;
  void Close() override;
  bool IsClosed() const override;

  // Hand-overs running on the window thread right now (they nest when one of them
  // opens a modal box and another arrives inside it).
  int ServingDepth() const { return FDepth; }

  static constexpr long kClosedWaitMs = 100;

 protected:
  bool event(QEvent* event) override;

 private:
  void RunOne(const std::function<void()>& fn);
  bool Wake();

  HandOverQueue FCalls;
  int FDepth = 0;                     // window thread only
  std::atomic<unsigned> FServed{0};  // hand-overs run so far
};

}  // namespace zp
