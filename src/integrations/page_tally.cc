#include "integrations/page_tally.h"

#include <algorithm>
#include <bit>
#include <tuple>

namespace corvanta {

PageTally::PageTally(const std::vector<std::string>& keywords) : keywordBits_(keywords.size(), 0) {
  size_t distinct = 0;
  for (size_t i = 0; i < keywords.size(); ++i) {
    const auto first = std::find(keywords.begin(), keywords.begin() + i, keywords[i]);
    if (first != keywords.begin() + i) {
      keywordBits_[i] = keywordBits_[first - keywords.begin()];
    } else if (distinct < 64) {
      keywordBits_[i] = uint64_t{1} << distinct++;
    }
  }
}

std::string_view PageTally::keep(std::string text) { return kept_.emplace_back(std::move(text)); }

size_t PageTally::kbIndex(std::string_view kb) {
  // Hits arrive knowledge base after knowledge base, and a vault has a handful
  // of them: the last one, then a scan.
  if (lastKb_ < kbs_.size() && kbs_[lastKb_] == kb) return lastKb_;
  const auto found = std::find(kbs_.begin(), kbs_.end(), kb);
  lastKb_ = static_cast<size_t>(found - kbs_.begin());
  if (found == kbs_.end()) kbs_.emplace_back(kb);
  return lastKb_;
}

PageTally::Evidence& PageTally::evidence(std::string_view kb, std::string_view fileName) {
  return pages_[Key{kbIndex(kb), fileName}];
}

void PageTally::addIndexHit(const std::string& kb, std::string_view fileName, size_t keyword) {
  Evidence& page = evidence(kb, fileName);
  page.keywords |= keywordBits_.at(keyword);
  page.hits += 1;
}

void PageTally::addSearchHit(const SearchResult& found, size_t keyword, int hits) {
  Evidence& page = evidence(found.kb, found.filename);
  // A page known only from an index file has no title yet, so the first
  // search record always replaces it.
  if (page.record == nullptr || page.record->title.empty() ||
      (page.record->matchingLines.empty() && !found.matchingLines.empty())) {
    page.record = &found;
  }
  page.keywords |= keywordBits_.at(keyword);
  page.hits += hits;
}

std::vector<PageTally::Scored> PageTally::best(size_t count) const {
  struct Candidate {
    int score;
    const Key* key;
    const Evidence* evidence;
  };
  std::vector<Candidate> candidates;
  candidates.reserve(pages_.size());
  for (const auto& [key, page] : pages_) {
    candidates.push_back({10 * std::popcount(page.keywords) + page.hits, &key, &page});
  }
  const size_t kept = std::min(count, candidates.size());
  std::partial_sort(candidates.begin(), candidates.begin() + static_cast<ptrdiff_t>(kept),
                    candidates.end(), [this](const Candidate& a, const Candidate& b) {
                      if (a.score != b.score) return a.score > b.score;
                      return std::tie(kbs_[a.key->kb], a.key->fileName) <
                             std::tie(kbs_[b.key->kb], b.key->fileName);
                    });

  std::vector<Scored> scored;
  for (size_t i = 0; i < kept; ++i) {
    const Candidate& candidate = candidates[i];
    SearchResult result;
    if (candidate.evidence->record != nullptr) {
      result = *candidate.evidence->record;
    } else {
      result.kb = kbs_[candidate.key->kb];
      result.filename = std::string(candidate.key->fileName);
    }
    scored.push_back({std::move(result), candidate.score});
  }
  return scored;
}

}  // namespace corvanta
