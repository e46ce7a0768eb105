// Test helper: how well the window's thread keeps handling events while a
// piece of work runs on it (nested event loops included).
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace qm::testing {

struct Heartbeat {
  qint64 longest_stall_ms = 0;  // longest gap between two beats
  int beats = 0;                // beats of a 10 ms timer during the work
  qint64 elapsed_ms = 0;        // how long the work took
};

// Runs `work` on the calling thread while a 10 ms timer, owned by `context`'s
// thread, beats; the gap after the last beat is not counted.
template <class Work>
Heartbeat measure_heartbeat(QObject* context, Work&& work) {
  Heartbeat result;
  QElapsedTimer clock;
  qint64 last = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, context, [&] {
    const qint64 now = clock.elapsed();
    result.longest_stall_ms = std::max(result.longest_stall_ms, now - last);
    last = now;
    ++result.beats;
  });
  clock.start();
  timer.start(10);
  work();
  timer.stop();
  result.elapsed_ms = clock.elapsed();
  return result;
}

}  // namespace qm::testing
