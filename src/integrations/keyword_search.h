// KeywordSearch: runs the hook's keyword searches, several at once.
//
// Each keyword is one prefix search of the full-text index, and the searches of
// one prompt are independent of each other. On a large vault a search for a
// common word costs tens of milliseconds of CPU (every matching page is ranked),
// and a prompt may carry eight keywords, so running them one after the other on
// one connection would make the user wait for their sum. Each worker searches on
// its own connection, and the results come back in keyword order, so callers see
// exactly what the searches run in sequence would have given. Most searches
// are cheap, though (rare words, words found nowhere), and cost less than a
// second connection: the calling thread searches alone until one search turns
// out slow, and only then do the other workers join it.
//
// The connections stay open as long as the object lives: closing the last
// connection to the database folds its write-ahead log back into it, work a
// process that is about to exit should leave to the application.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "vault/records.h"

namespace corvanta {

class SearchIndex;

class KeywordSearch {
 public:
  // Opens nothing yet. At most `workers` searches run at once (at least one).
  KeywordSearch(std::string vaultRoot, size_t workers);
  ~KeywordSearch();
  KeywordSearch(const KeywordSearch&) = delete;
  KeywordSearch& operator=(const KeywordSearch&) = delete;

  // One list of hits per keyword, in keyword order: the search index's own
  // `search(keyword, no knowledge base, limit)`. The calling thread is one of
  // the workers.
  std::vector<std::vector<SearchResult>> search(const std::vector<std::string>& keywords,
                                                int32_t limit);

 private:
  const std::string vaultRoot_;
  // One connection per worker, opened when that worker gets its first keyword.
  std::vector<std::unique_ptr<SearchIndex>> connections_;
};

}  // namespace corvanta
