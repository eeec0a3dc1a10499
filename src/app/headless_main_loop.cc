#include "app/headless_main_loop.h"

#include <signal.h>

#include <thread>

namespace corvanta {

void HeadlessMainLoop::post(std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(work));
  }
  wake_.notify_one();
}

void HeadlessMainLoop::postDelayed(std::chrono::milliseconds delay, std::function<void()> work) {
  {
    std::lock_guard lock(mutex_);
    delayed_.emplace(Clock::now() + delay, std::move(work));
  }
  wake_.notify_one();
}

void HeadlessMainLoop::quit() {
  {
    std::lock_guard lock(mutex_);
    quitting_ = true;
  }
  wake_.notify_one();
}

void HeadlessMainLoop::quitOnTerminationSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // A dedicated thread waits for the signal synchronously, so no work runs in a
  // signal handler. It lives as long as the process.
  std::thread([this, signals] {
    int received = 0;
    while (sigwait(&signals, &received) != 0) {
    }
    quit();
  }).detach();
}

int HeadlessMainLoop::run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (quitting_) return 0;
    if (!ready_.empty()) {
      std::function<void()> work = std::move(ready_.front());
      ready_.pop_front();
      lock.unlock();
      work();
      lock.lock();
      continue;
    }
    if (!delayed_.empty() && delayed_.begin()->first <= Clock::now()) {
      ready_.push_back(std::move(delayed_.begin()->second));
      delayed_.erase(delayed_.begin());
      continue;
    }
    if (delayed_.empty()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, delayed_.begin()->first);
    }
  }
}

}  // namespace corvanta
