// The shared background work queue: a small pool of low-priority worker threads
// for work nobody waits for (index-file and guide regeneration, the search index
// rebuild). Jobs are independent; a job must not rely on running before another.
//
// This is one of the documented process-wide queues, so it is reached through
// `shared()`. Its threads start on first use, which keeps short-lived processes
// that never schedule work free of them, and are never joined at exit: a process
// that ends simply abandons unfinished jobs (every write they make is atomic).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvanta {

class BackgroundQueue {
 public:
  static BackgroundQueue& shared();

  explicit BackgroundQueue(size_t threads);
  ~BackgroundQueue();
  BackgroundQueue(const BackgroundQueue&) = delete;
  BackgroundQueue& operator=(const BackgroundQueue&) = delete;

  // Queues `job` and returns at once. Exceptions thrown by a job are swallowed.
  void post(std::function<void()> job);

  // Blocks until no job is queued or running, or until `timeout` has passed.
  // Returns true when the queue became idle.
  bool waitUntilIdle(std::chrono::milliseconds timeout);

 private:
  void startLocked();
  void work();

  const size_t threadCount_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t running_ = 0;
  bool stopping_ = false;
};

}  // namespace corvanta
