#include "vault/derived_file_scheduler.h"

#include <thread>

#include "platform/background_queue.h"
#include "vault/kest_file_manager.h"

namespace corvanta {

DerivedFileScheduler::DerivedFileScheduler(BackgroundQueue& queue,
                                           std::chrono::milliseconds minimumSpacing)
    : queue_(queue), minimumSpacing_(minimumSpacing) {}

void DerivedFileScheduler::schedule(const std::string& target, std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    pruneIdleLocked();
    TargetState& state = targets_[target];
    if (state.queued) return;  // not started yet: it will see this request's change
    if (state.running) {
      state.rerun = true;
      state.next = std::move(job);
      return;
    }
    state.queued = true;
    ++active_;
  }
  post(target, std::move(job));
}

void DerivedFileScheduler::pruneIdleLocked() {
  // Idle targets are kept only for their spacing. Relations can name any
  // knowledge base, so without pruning the map would grow with every name seen.
  constexpr size_t kIdleTargetsKept = 64;
  if (targets_.size() <= kIdleTargetsKept) return;
  const Clock::time_point now = Clock::now();
  std::erase_if(targets_, [&](const auto& entry) {
    const TargetState& state = entry.second;
    return !state.queued && !state.running && state.lastStart + minimumSpacing_ <= now;
  });
}

void DerivedFileScheduler::post(const std::string& target, std::function<void()> job) {
  queue_.post([this, target, job = std::move(job)] {
    run(target, job);
    finished(target);
  });
}

void DerivedFileScheduler::run(const std::string& target, const std::function<void()>& job) {
  Clock::time_point earliest;
  {
    std::lock_guard lock(mutex_);
    earliest = targets_[target].lastStart + minimumSpacing_;
  }
  // Still marked queued while waiting, so requests arriving now are covered.
  std::this_thread::sleep_until(earliest);
  {
    std::lock_guard lock(mutex_);
    TargetState& state = targets_[target];
    state.queued = false;
    state.running = true;
    state.lastStart = Clock::now();
    ++started_;
  }
  try {
    job();
  } catch (...) {
    // Regenerations report nothing; the previous file stays.
  }
}

void DerivedFileScheduler::finished(const std::string& target) {
  std::function<void()> next;
  {
    std::lock_guard lock(mutex_);
    TargetState& state = targets_[target];
    state.running = false;
    if (state.rerun) {
      state.rerun = false;
      state.queued = true;
      next = std::move(state.next);
    } else {
      if (--active_ == 0) idle_.notify_all();
      return;
    }
  }
  post(target, std::move(next));
}

bool DerivedFileScheduler::waitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, timeout, [this] { return active_ == 0; });
}

uint64_t DerivedFileScheduler::regenerationsRun() const {
  std::lock_guard lock(mutex_);
  return started_;
}

// --- The store's entry points -------------------------------------------------

DerivedFileScheduler& KestFileManager::derivedFiles() {
  std::call_once(derivedFilesOnce_, [this] {
    if (!derivedFiles_) derivedFiles_ = std::make_unique<DerivedFileScheduler>(background_);
  });
  return *derivedFiles_;
}

// Each job holds the store until it has run. A store that is not owned by a
// shared_ptr cannot be kept alive that way, so it regenerates on the caller's
// thread instead of risking a job that outlives it.
void KestFileManager::scheduleIndexRefresh(const std::string& kb) {
  std::shared_ptr<const KestFileManager> self = weak_from_this().lock();
  if (!self) return generateIndex(kb);
  derivedFiles().schedule("index/" + kb, [self, kb] { self->generateIndex(kb); });
}

void KestFileManager::scheduleGuideRefresh() {
  std::shared_ptr<const KestFileManager> self = weak_from_this().lock();
  if (!self) return generateGuide();
  derivedFiles().schedule("guide", [self] { self->generateGuide(); });
}

bool KestFileManager::waitForRefreshes(std::chrono::milliseconds timeout) {
  return derivedFiles().waitUntilIdle(timeout);
}

}  // namespace corvanta
