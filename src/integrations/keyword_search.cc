#include "integrations/keyword_search.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "search/search_index.h"

namespace corvanta {
namespace {

// A search that has run this long is one of a common word, which takes
// milliseconds; helpers then join the calling thread.
constexpr auto kSlowSearch = std::chrono::milliseconds(1);

}  // namespace

KeywordSearch::KeywordSearch(std::string vaultRoot, size_t workers)
    : vaultRoot_(std::move(vaultRoot)), connections_(std::max<size_t>(workers, 1)) {}

KeywordSearch::~KeywordSearch() = default;

std::vector<std::vector<SearchResult>> KeywordSearch::search(
    const std::vector<std::string>& keywords, int32_t limit) {
  using Clock = std::chrono::steady_clock;
  std::vector<std::vector<SearchResult>> results(keywords.size());
  std::atomic<size_t> next{0};
  // Only the calling thread's progress matters to the helpers: when its current
  // search began, or that it has finished.
  std::mutex mutex;
  std::condition_variable progress;
  Clock::time_point searchStarted = Clock::now();
  bool done = false;

  // Each worker takes keywords from the shared counter until none is left.
  auto work = [&](std::unique_ptr<SearchIndex>& connection, bool reportProgress) noexcept {
    try {
      for (size_t i = next++; i < keywords.size(); i = next++) {
        // Opening is not searching: on a cold start it includes rebuilding the
        // shared log index, and a helper opening beside it would only wait for it.
        if (!connection) connection = std::make_unique<SearchIndex>(vaultRoot_);
        if (reportProgress) {
          std::lock_guard lock(mutex);
          searchStarted = Clock::now();
        }
        results[i] = connection->search(keywords[i], std::nullopt, limit);
      }
    } catch (...) {
      // Out of memory: the keywords this worker had taken find nothing.
    }
  };

  // Most prompts' searches are cheap (rare words, words found nowhere), and a
  // second connection costs more than they do: its own page cache, memory
  // arena and lock traffic. So a helper joins only once one search of the
  // calling thread has run for a while, as searches for common words do.
  auto help = [&](std::unique_ptr<SearchIndex>& connection) noexcept {
    {
      std::unique_lock lock(mutex);
      while (!done && Clock::now() < searchStarted + kSlowSearch) {
        progress.wait_until(lock, searchStarted + kSlowSearch);
      }
      if (done) return;
    }
    work(connection, false);
  };

  const size_t workers = std::min(connections_.size(), std::max<size_t>(keywords.size(), 1));
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < workers; ++i) {
    try {
      helpers.emplace_back(help, std::ref(connections_[i]));
    } catch (const std::system_error&) {
      break;  // no more threads: fewer workers share the keywords
    }
  }
  work(connections_[0], true);
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  progress.notify_all();
  for (std::thread& helper : helpers) helper.join();
  return results;
}

}  // namespace corvanta
