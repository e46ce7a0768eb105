// The event pump of the desktop program, on Qt's event loop.
#pragma once

#include <atomic>
#include <QEvent>
#include <QObject>

#include "text/text.h"

namespace qm {

// dispatch_pending and wait_until run on the thread of the QCoreApplication
// (the user-interface thread); notify may be called from any thread while
// the pump is alive. Waits nest: a handler that runs inside a wait may wait
// again, and the outer wait ends only after the inner one.
class QtEventPump final : public EventPump {
 public:
  QtEventPump();
  ~QtEventPump() override;
  QtEventPump(const QtEventPump&) = delete;
  QtEventPump& operator=(const QtEventPump&) = delete;

  void dispatch_pending() override;
  void wait_until(const std::function<bool()>& ready,
                  std::chrono::steady_clock::time_point deadline) override;
  void notify() override;

 private:
  // Receives the wake-up events; lives on the user-interface thread.
  class Waker final : public QObject {
   public:
    explicit Waker(std::atomic<bool>& posted) : posted_(posted) {}
    bool event(QEvent* event) override;

   private:
    std::atomic<bool>& posted_;
  };

  std::atomic<bool> wake_posted_{false};  // coalesces notifications
  Waker waker_{wake_posted_};
};

}  // namespace qm
