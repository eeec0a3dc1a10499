#include "integrations/keyword_search.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

#include "search/search_index.h"

namespace corvanta {

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

  // The first connection opens before any other: when no process has the
  // database open, opening it rebuilds the shared write-ahead-log index, and a
  // second connection arriving meanwhile would back off for milliseconds. The
  // helpers then open theirs while this one already searches, and a helper
  // that finds every keyword taken never opens one: a prompt whose searches
  // are all cheap is answered by this thread alone.
  try {
    if (!connections_[0] && !keywords.empty()) {
      connections_[0] = std::make_unique<SearchIndex>(vaultRoot_);
    }
  } catch (...) {
    return results;  // out of memory: nothing is found
  }
  const size_t workers = std::min(connections_.size(), std::max<size_t>(keywords.size(), 1));
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < workers; ++i) {
    try {
      helpers.emplace_back(work, std::ref(connections_[i]));
    } catch (const std::system_error&) {
      break;  // no more threads: fewer workers share the keywords
    }
  }
  work(connections_[0]);
  for (std::thread& helper : helpers) helper.join();
  return results;
}

}  // namespace corvanta
