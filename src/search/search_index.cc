#include "search/search_index.h"

namespace corvanta {

// Placeholder until the search index lands.
SearchIndex::SearchIndex(const std::string& vaultRoot) : dbPath_(vaultRoot + "/.kest-search.db") {}
SearchIndex::~SearchIndex() = default;
void SearchIndex::upsertPage(const std::string&, const std::string&, const std::string&,
                             const std::string&, const std::string&, const std::string&) {}
void SearchIndex::removePage(const std::string&, const std::string&) {}
std::vector<SearchResult> SearchIndex::search(std::string_view, const std::optional<std::string>&,
                                              int32_t) {
  return {};
}
std::string SearchIndex::buildMatchQuery(std::string_view) { return {}; }
int64_t SearchIndex::countPagesWithURL(const std::string&) { return 0; }
bool SearchIndex::isEmpty() { return true; }
void SearchIndex::rebuildAll(KestFileManager&) {}

}  // namespace corvanta
