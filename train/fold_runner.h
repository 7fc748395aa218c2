#ifndef WENLEI_TRAIN_FOLD_RUNNER_H_
#define WENLEI_TRAIN_FOLD_RUNNER_H_

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace wenlei {

// Runs work(f, step) for f in [0, count) on up to jobs threads (0: one per
// processor); each f writes only its own results.  Before each unit of its
// work a fold calls step(description), which returns false when the run is
// to stop.  The descriptions go to report on the calling thread, in the
// order they came; once report returns true (stop) no later one is
// reported and every later step returns false.  Returns whether the run
// went to its end.
template <typename Description, typename Work, typename Report>
bool RunFolds(std::size_t count, unsigned jobs, const Work &work, const Report &report) {
  if (jobs == 0) jobs = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(jobs, count);
  bool stop = false;
  if (threads <= 1) {
    auto step = [&](const Description &description) {
      if (!stop) stop = report(description);
      return !stop;
    };
    for (std::size_t f = 0; f < count && !stop; ++f) work(f, step);
    return !stop;
  }
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Description> waiting;
  std::size_t finished = 0;
  auto step = [&](const Description &description) {
    std::lock_guard<std::mutex> lock(mutex);
    if (stop) return false;
    waiting.push_back(description);
    changed.notify_all();
    return true;
  };
  std::atomic<std::size_t> next{0};
  std::vector<std::thread> pool;
  for (std::size_t t = 0; t < threads; ++t) {
    pool.emplace_back([&]() {
      for (std::size_t f = next++; f < count; f = next++) work(f, step);
      std::lock_guard<std::mutex> lock(mutex);
      ++finished;
      changed.notify_all();
    });
  }
  {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [&]() { return !waiting.empty() || finished == threads; });
      while (!waiting.empty()) {
        const Description description = waiting.front();
        waiting.pop_front();
        if (stop) continue;
        lock.unlock();
        const bool stopNow = report(description);
        lock.lock();
        stop = stop || stopNow;
      }
      if (finished == threads) break;
    }
  }
  for (auto &thread : pool) thread.join();
  return !stop;
}

}  // namespace wenlei

#endif  // WENLEI_TRAIN_FOLD_RUNNER_H_
