// Running jobs on kept worker threads: every job runs and is waited for, a
// late job never holds up the next one, finished workers are bounded and
// let go of what their jobs held.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "web/curl_easy.h"

namespace qm::inet {
namespace {

using namespace std::chrono_literals;

// Threads of this process, from /proc.
int thread_count() {
  int n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
}

template <typename Ready>
bool eventually(Ready ready, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(RunTimed, EveryJobRunsOnAnotherThreadAndIsWaitedFor) {
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id first_worker;
  for (int i = 0; i < 50; ++i) {
    std::thread::id ran_on;
    int value = 0;
    ASSERT_TRUE(run_timed(
        [&] {
          ran_on = std::this_thread::get_id();
          value = i + 1;
        },
        nullptr, 5s))
        << "job " << i;
    EXPECT_EQ(value, i + 1) << "job " << i;
    EXPECT_NE(ran_on, caller);
    if (i == 0) first_worker = ran_on;
  }
  // Jobs one after another go to the worker kept from the first.
  std::thread::id last;
  ASSERT_TRUE(run_timed([&] { last = std::this_thread::get_id(); }, nullptr, 5s));
  EXPECT_EQ(last, first_worker);
}

TEST(RunTimed, ALateJobIsAbortedAndNeverHoldsUpTheNext) {
  auto late_done = std::make_shared<std::atomic<bool>>(false);
  auto abort = std::make_shared<std::atomic<bool>>(false);
  const bool in_time = run_timed(
      [late_done, abort] {
        // Ends when told to, or after 3 s.
        eventually([&] { return abort->load(); }, 3s);
        late_done->store(true);
      },
      abort.get(), 50ms);
  EXPECT_FALSE(in_time);
  EXPECT_TRUE(abort->load());

  // The next job runs at once, although the late one still holds its worker.
  bool quick = false;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(run_timed([&] { quick = true; }, nullptr, 2s));
  EXPECT_TRUE(quick);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(eventually([&] { return late_done->load(); }));
}

TEST(RunTimed, AZeroTimeOutIsLateEvenForAnEmptyJob) {
  std::atomic<bool> abort{false};
  EXPECT_FALSE(run_timed([] {}, &abort, 0ms));
  EXPECT_TRUE(abort.load());
}

TEST(RunTimed, FinishedWorkersAreBoundedAndHoldNothing) {
  // One job first, so that a worker waits and a sanitizer's own thread, if
  // any, has started: then at most one more worker may stay.
  ASSERT_TRUE(run_timed([] {}, nullptr, 5s));
  const int before = thread_count();
  // Many jobs at once, each abandoned at once: each needs a worker of its own.
  constexpr int kJobs = 12;
  auto finished = std::make_shared<std::atomic<int>>(0);
  auto held = std::make_shared<int>(0);
  for (int i = 0; i < kJobs; ++i) {
    std::atomic<bool> abort{false};
    run_timed(
        [finished, held] {
          std::this_thread::sleep_for(100ms);
          finished->fetch_add(1);
        },
        &abort, 0ms);
  }
  ASSERT_TRUE(eventually([&] { return finished->load() == kJobs; }));
  // The jobs' captures go with the jobs, not with the next job of their worker.
  EXPECT_TRUE(eventually([&] { return held.use_count() == 1; })) << held.use_count();
  // All but a few workers end; the few wait for the next jobs.
  EXPECT_TRUE(eventually([&] { return thread_count() <= before + 1; }))
      << thread_count() << " threads, " << before << " before";
}

}  // namespace
}  // namespace qm::inet
