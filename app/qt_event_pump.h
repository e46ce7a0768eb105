// The event pump of the desktop program, on Qt's event loop.
#pragma once

#include <atomic>
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
  QObject waker_;                         // lives on the user-interface thread
  std::atomic<bool> wake_posted_{false};  // coalesces notifications
};

}  // namespace qm
