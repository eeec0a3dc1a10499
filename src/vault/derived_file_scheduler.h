// Coalesces background regenerations of derived files (a knowledge base's
// "_index.md", the vault's "README.md").
//
// A regeneration reads the vault when it starts, so one that has not started yet
// already covers every later request for the same target. A burst of saves
// therefore costs at most one queued and one running regeneration per target,
// instead of one full regeneration per save — and the last change is always
// followed by a regeneration that started after it.
//
// Regenerations of one target never overlap, and successive ones start at least
// `minimumSpacing` apart: a regeneration that is cheap compared with the gap
// between saves would otherwise still run once per save. The wait happens before
// the job starts, so requests arriving meanwhile are covered by it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace corvanta {

class BackgroundQueue;

class DerivedFileScheduler {
 public:
  static constexpr std::chrono::milliseconds kDefaultSpacing{250};

  explicit DerivedFileScheduler(BackgroundQueue& queue,
                                std::chrono::milliseconds minimumSpacing = kDefaultSpacing);
  // Jobs refer to the scheduler: callers keep it alive until waitUntilIdle()
  // succeeds (the store does so by letting every job hold the store).
  ~DerivedFileScheduler() = default;
  DerivedFileScheduler(const DerivedFileScheduler&) = delete;
  DerivedFileScheduler& operator=(const DerivedFileScheduler&) = delete;

  // Runs `job` on the queue unless a job for `target` is already queued and not
  // yet started, in which case that job covers this request. While a job for
  // `target` runs, the request queues one more run after it. Exceptions thrown
  // by `job` are swallowed.
  void schedule(const std::string& target, std::function<void()> job);

  // Blocks until no regeneration is queued or running, or `timeout` passes.
  // Returns true when idle.
  bool waitUntilIdle(std::chrono::milliseconds timeout);

  // Number of regenerations started so far (for benchmarks and tests).
  uint64_t regenerationsRun() const;

 private:
  using Clock = std::chrono::steady_clock;

  struct TargetState {
    bool queued = false;  // posted, not yet started
    bool running = false;
    bool rerun = false;          // a request arrived while running
    std::function<void()> next;  // the job of the latest request, for the rerun
    Clock::time_point lastStart{};
  };

  void pruneIdleLocked();
  void post(const std::string& target, std::function<void()> job);
  void run(const std::string& target, const std::function<void()>& job);
  void finished(const std::string& target);

  BackgroundQueue& queue_;
  const std::chrono::milliseconds minimumSpacing_;
  mutable std::mutex mutex_;
  std::condition_variable idle_;
  // Targets with a queued or running job, and idle ones whose last run started
  // recently, so that the spacing also holds between separate requests.
  std::map<std::string, TargetState> targets_;
  size_t active_ = 0;  // targets with a queued or running job
  uint64_t started_ = 0;
};

}  // namespace corvanta
