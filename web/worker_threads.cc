// Running a job on a worker thread while the caller waits through the event
// pump.
//
// Starting a thread costs about 50 µs on the virtual machines this runs on,
// as much as a whole loopback exchange, so finished workers are kept for the
// next job. (Polling instead of sleeping, on either side, was measured too:
// against a site on the same machine it slowed a run down, since the poller
// takes a processor from the worker and the site.)

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "text/text.h"
#include "web/curl_easy.h"

namespace qm::inet {

namespace {

using Clock = std::chrono::steady_clock;

// At most this many finished workers wait for jobs; any further one ends.
constexpr int kIdleWorkers = 2;

// One job for a worker: `work`, then `finish`, which tells the waiting
// caller. The worker lets go of what `work` holds and enlists for the next
// job before it calls `finish`, so that a caller that starts its next job
// at once finds it waiting.
struct Task {
  std::function<void()> work;
  std::function<void()> finish;
};

// The kept workers. Tasks are handed over in a queue that never holds more
// tasks than there are waiting workers: `waiting_` counts the workers
// waiting for a task that none has been promised yet. Lives as long as the
// process (it is never destroyed, since waiting workers use it until the
// end).
class Workers {
 public:
  // Runs `task` on a waiting worker, or on a new thread. False when no
  // thread could be started; the task is then dropped.
  bool start(Task task) {
    bool handed_over = false;
    {
      std::lock_guard lock(mutex_);
      if (waiting_ > 0) {
        --waiting_;
        tasks_.push_back(std::move(task));
        handed_over = true;
      }
    }
    if (handed_over) {
      ready_.notify_one();
      return true;
    }
    try {
      std::thread([this, first = std::move(task)]() mutable { serve(std::move(first)); }).detach();
      return true;
    } catch (const std::system_error&) {
      return false;
    }
  }

 private:
  void serve(Task task) {
    for (;;) {
      task.work();
      task.work = nullptr;
      const bool kept = enlist();
      task.finish();
      task.finish = nullptr;
      if (!kept) return;
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return !tasks_.empty(); });
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
  }

  // Whether this worker waits for a next task (and is counted as waiting)
  // or ends, when enough others wait already.
  bool enlist() {
    std::lock_guard lock(mutex_);
    if (waiting_ + static_cast<int>(tasks_.size()) >= kIdleWorkers) return false;
    ++waiting_;
    return true;
  }

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> tasks_;
  int waiting_ = 0;
};

Workers& workers() {
  static Workers* const instance = new Workers;  // never destroyed, see above
  return *instance;
}

// What the waiting caller and its worker share. Once `abandoned` is set the
// worker no longer touches the event pump, which may be gone by then.
struct Completion {
  std::atomic<bool> done{false};
  std::mutex mutex;
  bool abandoned = false;
};

}  // namespace

bool run_timed(std::function<void()> job, std::atomic<bool>* abort,
               std::chrono::milliseconds timeout) {
  auto completion = std::make_shared<Completion>();
  const auto deadline = Clock::now() + clamp_timeout(timeout);
  // Without a thread nothing can end in time; the wait below runs out.
  (void)workers().start(Task{std::move(job), [completion] {
                              completion->done.store(true, std::memory_order_release);
                              std::lock_guard<std::mutex> lock(completion->mutex);
                              if (!completion->abandoned) event_pump().notify();
                            }});
  const auto finished = [&completion] { return completion->done.load(std::memory_order_acquire); };
  bool in_time = false;
  for (;;) {
    event_pump().wait_until(finished, deadline);
    // The deadline decides first: at or past it the job is late, whether it
    // has ended meanwhile or not.
    if (Clock::now() >= deadline) break;
    if (finished()) {
      in_time = true;
      break;
    }
  }
  std::lock_guard<std::mutex> lock(completion->mutex);
  completion->abandoned = true;
  if (!in_time && abort != nullptr) abort->store(true);
  return in_time;
}

}  // namespace qm::inet
