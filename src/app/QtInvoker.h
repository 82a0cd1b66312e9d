#pragma once
#include <QObject>
#include <memory>

#include "platform/HandOverInvoker.h"

namespace zp {

// Hand-overs to the window thread through Qt's event loop. A worker's call becomes a
// posted event; the window thread runs it whenever it processes events, including
// inside modal boxes and inside WaitServing.
//
// Construct it on the window thread; it must outlive every worker given it (workers
// hold it by shared pointer).
class QtInvoker final : public QObject, public HandOverInvoker {
  Q_OBJECT
 public:
  QtInvoker();
  ~QtInvoker() override;

  // On the window thread: processes events (so hand-overs, clicks and timers run)
  // until `ev` is set or `ms` tick milliseconds pass without a hand-over. Once the
  // invoker is closed it serves nothing and gives up within kClosedWaitMs.
  WaitResult WaitServing(Event& ev, long ms) override;

 protected:
  bool event(QEvent* event) override;
  bool OnCreator() const override;
  bool Wake() override;
};

}  // namespace zp
