#include "platform/background_queue.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace corvanta {
namespace {

// "Utility" priority: background regeneration yields the CPU to request handling.
void lowerThreadPriority() {
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 5);
}

}  // namespace

BackgroundQueue& BackgroundQueue::shared() {
  // Deliberately never destroyed: joining workers at exit would make a short-lived
  // process wait for work nobody needs any more.
  static BackgroundQueue* queue =
      new BackgroundQueue(std::clamp<size_t>(std::thread::hardware_concurrency(), 2, 4));
  return *queue;
}

BackgroundQueue::BackgroundQueue(size_t threads) : threadCount_(std::max<size_t>(threads, 1)) {}

BackgroundQueue::~BackgroundQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& thread : threads_) thread.join();
}

void BackgroundQueue::startLocked() {
  if (!threads_.empty()) return;
  for (size_t i = 0; i < threadCount_; ++i) threads_.emplace_back([this] { work(); });
}

void BackgroundQueue::post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    startLocked();
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

bool BackgroundQueue::waitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return jobs_.empty() && running_ == 0; });
}

void BackgroundQueue::work() {
  lowerThreadPriority();
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // stopping
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    ++running_;
    lock.unlock();
    try {
      job();
    } catch (...) {
      // Background work reports nothing; a failed job leaves the old files in place.
    }
    job = nullptr;  // release captured state outside the lock
    lock.lock();
    --running_;
    if (jobs_.empty() && running_ == 0) idle_.notify_all();
  }
}

}  // namespace corvanta
