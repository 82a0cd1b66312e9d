#include "app/QtInvoker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <exception>

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

bool QtInvoker::RunAndWait(const std::function<void()>& fn) {
  if (QThread::currentThread() == thread()) {
    if (IsClosed()) return false;
    RunOne(fn);
    return true;
  }
  return FCalls.SubmitAndWait(fn, [this] { return Wake(); });
}

bool QtInvoker::Post(std::function<void()> fn) { return FCalls.Post(std::move(fn), [this] { return Wake(); }); }

bool QtInvoker::Wake() {
  QCoreApplication::postEvent(this, new QEvent(RunPendingEvent()));
  return true;
}

bool QtInvoker::event(QEvent* event) {
  if (event->type() == RunPendingEvent()) {
    FCalls.RunPending([this](const std::function<void()>& fn) { RunOne(fn); });
    return true;
  }
  return QObject::event(event);
}

void QtInvoker::RunOne(const std::function<void()>& fn) {
  ++FDepth;
  ++FServed;
  // The worker waits for this call: it must be marked done whatever happened.
  HandOverQueue::RunGuarded(fn);
  --FDepth;
}

Invoker::WaitResult QtInvoker::WaitServing(Event& ev, long ms) {
  if (QThread::currentThread() != thread() || IsClosed()) {
    const long wait = IsClosed() && (ms < 0 || ms > kClosedWaitMs) ? kClosedWaitMs : ms;
    return ev.Wait(wait) ? WaitResult::Signalled : WaitResult::TimedOut;
  }
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
  unsigned served = FServed.load();
  restart();
  for (;;) {
    if (ev.TryClaim()) return WaitResult::Signalled;
    if (IsClosed()) {
      return ev.Wait(kClosedWaitMs) ? WaitResult::Signalled : WaitResult::TimedOut;
    }
    if (FServed.load() != served) {
      // A hand-over was served: the wait for silence starts again.
      served = FServed.load();
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

void QtInvoker::Close() { FCalls.Close(); }

bool QtInvoker::IsClosed() const { return FCalls.IsClosed(); }

}  // namespace zp
