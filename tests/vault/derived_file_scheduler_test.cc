#include "vault/derived_file_scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "derived_files_fixture.h"
#include "platform/background_queue.h"

namespace corvanta {
namespace {

using namespace std::chrono_literals;

// A gate that jobs wait on until the test opens it.
class Gate {
 public:
  void wait() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
  }
  void waitForWaiters(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return waiting_ >= count; });
  }
  void open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int waiting_ = 0;
  bool open_ = false;
};

TEST(DerivedFileSchedulerTest, RequestsBeforeTheStartShareOneRun) {
  BackgroundQueue queue(1);
  DerivedFileScheduler scheduler(queue, 0ms);
  Gate gate;
  queue.post([&] { gate.wait(); });  // keeps the only worker busy
  gate.waitForWaiters(1);

  std::atomic<int> runs{0};
  for (int i = 0; i < 100; ++i) scheduler.schedule("index/A", [&] { ++runs; });
  scheduler.schedule("guide", [&] { ++runs; });
  gate.open();

  ASSERT_TRUE(scheduler.waitUntilIdle(10s));
  EXPECT_EQ(runs.load(), 2);
  EXPECT_EQ(scheduler.regenerationsRun(), 2u);
}

TEST(DerivedFileSchedulerTest, RequestsDuringARunQueueExactlyOneMoreThatStartsAfterThem) {
  BackgroundQueue queue(2);
  DerivedFileScheduler scheduler(queue, 0ms);
  Gate gate;
  std::atomic<int> runs{0};
  std::atomic<int> lastRequest{0};
  std::atomic<int> seenByLastRun{-1};
  for (int i = 1; i <= 50; ++i) {
    scheduler.schedule("index/A", [&] {
      int seen = lastRequest.load();
      if (++runs == 1) gate.wait();
      seenByLastRun = seen;
    });
    if (i == 1) gate.waitForWaiters(1);
    lastRequest = i;
  }
  gate.open();

  ASSERT_TRUE(scheduler.waitUntilIdle(10s));
  EXPECT_EQ(runs.load(), 2);
  EXPECT_EQ(seenByLastRun.load(), 50);  // the rerun saw every request
}

TEST(DerivedFileSchedulerTest, RunsOfOneTargetNeverOverlap) {
  BackgroundQueue queue(4);
  DerivedFileScheduler scheduler(queue, 0ms);
  std::atomic<int> inside{0};
  std::atomic<bool> overlapped{false};
  for (int i = 0; i < 200; ++i) {
    scheduler.schedule("guide", [&] {
      if (++inside > 1) overlapped = true;
      std::this_thread::sleep_for(200us);
      --inside;
    });
    std::this_thread::sleep_for(50us);  // requests land before, during and after runs
  }
  ASSERT_TRUE(scheduler.waitUntilIdle(10s));
  EXPECT_FALSE(overlapped.load());
}

TEST(DerivedFileSchedulerTest, AFailingJobDoesNotWedgeItsTarget) {
  BackgroundQueue queue(1);
  DerivedFileScheduler scheduler(queue, 0ms);
  scheduler.schedule("index/A", [] { throw std::runtime_error("disk full"); });
  ASSERT_TRUE(scheduler.waitUntilIdle(10s));
  std::atomic<int> runs{0};
  scheduler.schedule("index/A", [&] { ++runs; });
  ASSERT_TRUE(scheduler.waitUntilIdle(10s));
  EXPECT_EQ(runs.load(), 1);
}

TEST(DerivedFileSchedulerTest, SuccessiveRunsOfATargetAreSpacedApart) {
  BackgroundQueue queue(2);
  DerivedFileScheduler scheduler(queue, 300ms);
  std::vector<std::chrono::steady_clock::time_point> starts;
  std::mutex mutex;
  auto record = [&] {
    std::lock_guard lock(mutex);
    starts.push_back(std::chrono::steady_clock::now());
  };
  scheduler.schedule("guide", record);
  ASSERT_TRUE(scheduler.waitUntilIdle(10s));
  scheduler.schedule("guide", record);  // after an idle moment, still spaced
  ASSERT_TRUE(scheduler.waitUntilIdle(10s));
  ASSERT_EQ(starts.size(), 2u);
  // The jobs record their start a moment after the scheduler does, hence the margin.
  EXPECT_GE(starts[1] - starts[0], 200ms);
}

// The store's refreshes: a burst of saves ends with derived files that show every
// page, after far fewer regenerations than requests.
class StoreRefreshTest : public test::DerivedFilesTest {};

TEST_F(StoreRefreshTest, BurstOfSavesIsCoalescedAndEndsCurrent) {
  constexpr int kSaves = 300;
  for (int i = 0; i < kSaves; ++i) {
    addPage("Burst", "page-" + std::to_string(i) + ".md", {"P", "x.com", "", ""});
    store_->scheduleIndexRefresh("Burst");
    store_->scheduleGuideRefresh();
  }
  ASSERT_TRUE(store_->waitForRefreshes(30s));

  EXPECT_NE(indexOf("Burst").find("# Burst \u2014 300 pages\n"), std::string::npos);
  EXPECT_NE(test::readText(root_ + "/README.md").find("| Burst | 300 | x.com |\n"),
            std::string::npos);
  uint64_t runs = store_->derivedFiles().regenerationsRun();
  EXPECT_GE(runs, 2u);
  EXPECT_LT(runs, 60u) << "regenerations are not coalesced";
}

TEST_F(StoreRefreshTest, JobsKeepTheStoreAlive) {
  addPage("KB", "a.md", {"A", "x.com", "", ""});
  std::weak_ptr<KestFileManager> weak = store_;
  store_->scheduleIndexRefresh("KB");
  store_->scheduleGuideRefresh();
  store_.reset();
  ASSERT_TRUE(queue_.waitUntilIdle(30s));
  EXPECT_TRUE(weak.expired());
  EXPECT_TRUE(std::filesystem::exists(path("KB", "_index.md")));
  EXPECT_TRUE(std::filesystem::exists(root_ + "/README.md"));
}

TEST_F(StoreRefreshTest, AStoreWithoutSharedOwnerRegeneratesAtOnce) {
  addPage("KB", "a.md", {"A", "x.com", "", ""});
  KestFileManager store(root_, paths_, queue_);
  store.scheduleIndexRefresh("KB");
  EXPECT_TRUE(std::filesystem::exists(path("KB", "_index.md")));
}

}  // namespace
}  // namespace corvanta
