#include "app/qt_event_pump.h"

#include <algorithm>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace qm {

QtEventPump::QtEventPump() = default;
QtEventPump::~QtEventPump() = default;

void QtEventPump::dispatch_pending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtEventPump::wait_until(const std::function<bool()>& ready,
                             std::chrono::steady_clock::time_point deadline) {
  using std::chrono::milliseconds;
  QTimer timer;  // its expiry wakes the dispatcher at the deadline
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  // ready() is asked after every batch of events, so an event handler that
  // makes it true ends the wait as well as a notification does. A
  // notification that comes after the question leaves a posted event that
  // ends the next dispatch at once.
  for (;;) {
    if (ready()) return;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return;
    if (!timer.isActive()) {
      // Rounded up, so that the timer never wakes before the deadline; a far
      // deadline is reached in steps of a day.
      const auto left = std::chrono::ceil<milliseconds>(deadline - now);
      timer.start(static_cast<int>(std::min<milliseconds::rep>(left.count(), 24 * 3600 * 1000)));
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

void QtEventPump::notify() {
  // One wake-up in the queue at a time; it only has to end the dispatch.
  if (wake_posted_.exchange(true)) return;
  QCoreApplication::postEvent(&waker_, new QEvent(QEvent::User));
}

// The waker has no children, timers or connections: the events it gets are
// the wake-ups. They are not looked into, so that nothing passes between the
// threads but the flag.
bool QtEventPump::Waker::event(QEvent* /*wake_up*/) {
  posted_.exchange(false);
  return true;
}

}  // namespace qm
