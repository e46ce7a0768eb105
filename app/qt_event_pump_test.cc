#include "app/qt_event_pump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <QCoreApplication>
#include <QTimer>

namespace qm {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(QtEventPump, DispatchPendingRunsQueuedEvents) {
  QtEventPump pump;
  QObject context;
  bool ran = false;
  QMetaObject::invokeMethod(&context, [&] { ran = true; }, Qt::QueuedConnection);
  EXPECT_FALSE(ran);
  pump.dispatch_pending();
  EXPECT_TRUE(ran);
}

TEST(QtEventPump, NotifyFromAnotherThreadEndsTheWait) {
  QtEventPump pump;
  // Many rounds, so that a notification lost between ready() and the loop's
  // start would show as a wait that runs into its deadline.
  for (int round = 0; round < 200; ++round) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      if (round % 2) std::this_thread::sleep_for(std::chrono::microseconds(200));
      done = true;
      pump.notify();
    });
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    pump.wait_until([&] { return done.load(); }, deadline);
    worker.join();
    ASSERT_TRUE(done) << "round " << round;
    ASSERT_LT(Clock::now(), deadline) << "round " << round;
  }
}

TEST(QtEventPump, DeadlineEndsTheWait) {
  QtEventPump pump;
  for (const milliseconds wait : {milliseconds(-5), milliseconds(0), milliseconds(30)}) {
    const auto deadline = Clock::now() + wait;
    int asked = 0;
    pump.wait_until([&] { return ++asked, false; }, deadline);
    EXPECT_GE(Clock::now(), deadline) << wait.count();
    EXPECT_GE(asked, 1) << wait.count();
  }
}

TEST(QtEventPump, ReadyAtOnceDoesNotWait) {
  QtEventPump pump;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  pump.wait_until([] { return true; }, deadline);
  EXPECT_LT(Clock::now(), deadline);
}

TEST(QtEventPump, EventsAreDispatchedWhileWaiting) {
  QtEventPump pump;
  QObject context;
  int timer_ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, &context, [&] { ++timer_ticks; });
  timer.start(1);
  // Made ready by an event of the loop itself, without a notification.
  bool flag = false;
  QTimer::singleShot(20, &context, [&] { flag = true; });
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  pump.wait_until([&] { return flag; }, deadline);
  EXPECT_TRUE(flag);
  EXPECT_LT(Clock::now(), deadline);
  EXPECT_GT(timer_ticks, 0);
}

TEST(QtEventPump, NestedWaitsEndInnerFirst) {
  QtEventPump pump;
  QObject context;
  std::atomic<bool> outer_ready{false};
  std::atomic<bool> inner_ready{false};
  bool inner_ended = false;
  bool inner_ended_before_outer = false;
  std::thread worker;
  QTimer::singleShot(0, &context, [&] {
    worker = std::thread([&] {
      std::this_thread::sleep_for(milliseconds(5));
      outer_ready = true;  // the outer wait must still wait for the inner one
      pump.notify();
      std::this_thread::sleep_for(milliseconds(5));
      inner_ready = true;
      pump.notify();
    });
    pump.wait_until([&] { return inner_ready.load(); }, Clock::now() + std::chrono::seconds(10));
    inner_ended = true;
  });
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  pump.wait_until(
      [&] {
        inner_ended_before_outer = inner_ended;
        return outer_ready.load() && inner_ended;
      },
      deadline);
  worker.join();
  EXPECT_TRUE(inner_ended_before_outer);
  EXPECT_LT(Clock::now(), deadline);
}

TEST(QtEventPump, NotificationsWithoutAWaiterAreHarmless) {
  QtEventPump pump;
  std::thread worker([&] {
    for (int i = 0; i < 1000; ++i) pump.notify();
  });
  worker.join();
  pump.dispatch_pending();
  const auto deadline = Clock::now() + milliseconds(10);
  pump.wait_until([] { return false; }, deadline);
  EXPECT_GE(Clock::now(), deadline);
}

}  // namespace
}  // namespace qm
