#include "app/QtInvoker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <chrono>

#include "platform/Tick.h"

namespace zp {

namespace {

QEvent::Type RunPendingEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace

QtInvoker::QtInvoker() = default;

QtInvoker::~QtInvoker() { Close(); }

bool QtInvoker::OnCreator() const { return QThread::currentThread() == thread(); }

bool QtInvoker::Wake() {
  QCoreApplication::postEvent(this, new QEvent(RunPendingEvent()));
  return true;
}

bool QtInvoker::event(QEvent* event) {
  if (event->type() == RunPendingEvent()) {
    RunPending();
    return true;
  }
  return QObject::event(event);
}

Invoker::WaitResult QtInvoker::WaitServing(Event& ev, long ms) {
  if (const auto plain = WaitWithoutServing(ev, ms)) return *plain;
  using Clock = std::chrono::steady_clock;
  // The event's descriptor wakes the event loop when it is set; a timer wakes it when
  // the silence has lasted `ms`.
  QSocketNotifier notifier(static_cast<qintptr>(ev.NativeHandle()), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &notifier,
                   [&notifier] { notifier.setEnabled(false); });
  QTimer wake;
  wake.setSingleShot(true);
  Clock::time_point deadline;
  const auto restart = [&] {
    if (ms < 0) return;
    const std::int64_t real = TicksToRealMs(ms);
    deadline = Clock::now() + std::chrono::milliseconds(real);
    wake.start(static_cast<int>(std::min<std::int64_t>(real, 1 << 30)));
  };
  unsigned served = Served();
  restart();
  for (;;) {
    if (ev.TryClaim()) return WaitResult::Signalled;
    if (IsClosed()) {
      return ev.Wait(kClosedWaitMs) ? WaitResult::Signalled : WaitResult::TimedOut;
    }
    if (Served() != served) {
      // A hand-over was served: the wait for silence starts again.
      served = Served();
      restart();
    } else if (ms >= 0 && Clock::now() >= deadline) {
      return WaitResult::TimedOut;
    }
    // Re-armed each pass, so that a set event cannot keep waking a modal box's loop
    // nested inside this wait.
    notifier.setEnabled(true);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

}  // namespace zp
