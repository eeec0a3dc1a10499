// The application's main loop when there is no graphical session: runs posted
// work in order on the thread that calls run(), and ends on quit() or on SIGINT /
// SIGTERM (after which the caller runs the normal shut-down).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "platform/main_loop.h"

namespace corvanta {

class HeadlessMainLoop : public MainLoop {
 public:
  HeadlessMainLoop() = default;

  void post(std::function<void()> work) override;
  void postDelayed(std::chrono::milliseconds delay, std::function<void()> work) override;
  void quit() override;

  // Blocks SIGINT and SIGTERM in the calling thread (call before other threads
  // start, so they inherit the mask) and turns them into quit().
  void quitOnTerminationSignals();

  // Runs until quit(); returns 0.
  int run();

 private:
  using Clock = std::chrono::steady_clock;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> ready_;
  std::multimap<Clock::time_point, std::function<void()>> delayed_;
  bool quitting_ = false;
};

}  // namespace corvanta
