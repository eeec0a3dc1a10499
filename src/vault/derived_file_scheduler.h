// Coalesces background regenerations of derived files (a knowledge base's
// "_index.md", the vault's "README.md").
//
// A regeneration reads the vault when it starts, so one that has not started yet
// already covers every later request for the same target. A burst of saves
// therefore costs at most one queued and one running regeneration per target,
// instead of one full regeneration per save — and the last change is always
// followed by a regeneration that started after it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace corvanta {

class BackgroundQueue;

class DerivedFileScheduler {
 public:
  explicit DerivedFileScheduler(BackgroundQueue& queue);

  // Runs `job` on the queue unless a job for `target` is already queued and not
  // yet started, in which case that job covers this request.
  void schedule(const std::string& target, std::function<void()> job);

  // Blocks until no regeneration is queued or running, or `timeout` passes.
  bool waitUntilIdle(std::chrono::milliseconds timeout);

  // Number of regenerations started so far (for benchmarks and tests).
  uint64_t regenerationsRun() const;

 private:
  struct TargetState {
    bool queued = false;
    bool running = false;
    bool rerun = false;  // a request arrived while running
  };

  void start(const std::string& target, std::function<void()> job);
  void finished(const std::string& target, std::function<void()> job);

  BackgroundQueue& queue_;
  mutable std::mutex mutex_;
  std::condition_variable idle_;
  std::map<std::string, TargetState> targets_;
  size_t outstanding_ = 0;
  uint64_t started_ = 0;
};

}  // namespace corvanta
