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

// How long the calling thread searches alone before helpers join it.
constexpr auto kHelperDelay = std::chrono::microseconds(1500);

}  // namespace

KeywordSearch::KeywordSearch(std::string vaultRoot, size_t workers)
    : vaultRoot_(std::move(vaultRoot)), connections_(std::max<size_t>(workers, 1)) {}

KeywordSearch::~KeywordSearch() = default;

std::vector<std::vector<SearchResult>> KeywordSearch::search(
    const std::vector<std::string>& keywords, int32_t limit) {
  std::vector<std::vector<SearchResult>> results(keywords.size());
  std::atomic<size_t> next{0};
  // Each worker takes keywords from the shared counter until none is left.
  auto work = [&](std::unique_ptr<SearchIndex>& connection) noexcept {
    try {
      for (size_t i = next++; i < keywords.size(); i = next++) {
        if (!connection) connection = std::make_unique<SearchIndex>(vaultRoot_);
        results[i] = connection->search(keywords[i], std::nullopt, limit);
      }
    } catch (...) {
      // Out of memory: the keywords this worker had taken find nothing.
    }
  };

  // Most prompts' searches are cheap (rare words, words found nowhere), and a
  // second connection costs more than they do: its own page cache, memory
  // arena and lock traffic. So helpers wait a moment and join only when this
  // thread is still busy; a prompt full of common words, whose searches take
  // milliseconds each, still gets them.
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  auto help = [&](std::unique_ptr<SearchIndex>& connection) noexcept {
    {
      std::unique_lock lock(mutex);
      if (finished.wait_for(lock, kHelperDelay, [&] { return done; })) return;
    }
    work(connection);
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
  work(connections_[0]);
  {
    std::lock_guard lock(mutex);
    done = true;
  }
  finished.notify_all();
  for (std::thread& helper : helpers) helper.join();
  return results;
}

}  // namespace corvanta
