// PageTally: the evidence the hook gathers per page while ranking — which
// keywords found the page, how many hits it collected, and the best search
// record seen for it — and the scores drawn from it.
//
// A common word can name thousands of pages across the index files, so the
// tally stays lean: pages are keyed by knowledge base and a view of the file
// name (no copies), keywords are bits, and a full record is built only for
// the few pages that make the cut. Texts that views point into must outlive
// the tally: index texts are handed to it to keep, search results are the
// caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vault/records.h"

namespace corvanta {

class PageTally {
 public:
  struct Scored {
    SearchResult result;
    int score = 0;
  };

  // Keywords by position; equal texts count as one keyword. Only the first 64
  // distinct keywords count (the hook draws at most 8).
  explicit PageTally(const std::vector<std::string>& keywords);

  // Keeps `text` alive for the views taken into it; returns the kept copy.
  std::string_view keep(std::string text);

  // One hit from an index file line naming `fileName` (a view into kept text).
  void addIndexHit(const std::string& kb, std::string_view fileName, size_t keyword);

  // One full-text hit; `found` must outlive the tally. The page keeps its first
  // record unless that one has no title, or has no excerpt lines while this
  // one has some.
  void addSearchHit(const SearchResult& found, size_t keyword, int hits);

  // The best `count` pages: 10 per keyword that found the page, plus its hits.
  // Equal scores are ordered by knowledge base, then file name.
  std::vector<Scored> best(size_t count) const;

  size_t pageCount() const { return pages_.size(); }

 private:
  struct Key {
    size_t kb;
    std::string_view fileName;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& key) const noexcept {
      return std::hash<std::string_view>()(key.fileName) ^ (key.kb * 0x9e3779b97f4a7c15ull);
    }
  };
  struct Evidence {
    uint64_t keywords = 0;
    int hits = 0;
    const SearchResult* record = nullptr;  // absent: known from an index file only
  };

  size_t kbIndex(std::string_view kb);
  Evidence& evidence(std::string_view kb, std::string_view fileName);

  std::vector<uint64_t> keywordBits_;  // by keyword position
  std::deque<std::string> kbs_;        // stable: keys refer to them by index
  size_t lastKb_ = 0;
  std::deque<std::string> kept_;  // stable: file-name views point into them
  std::unordered_map<Key, Evidence, KeyHash> pages_;
};

}  // namespace corvanta
