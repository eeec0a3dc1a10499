#include "integrations/keyword_search.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "search/search_index.h"
#include "support/temp_dir.h"

namespace corvanta {
namespace {

std::vector<std::string> keys(const std::vector<SearchResult>& results) {
  std::vector<std::string> out;
  for (const SearchResult& result : results) {
    out.push_back(result.kb + "/" + result.filename + ":" +
                  std::to_string(result.matchingLines.size()));
  }
  return out;
}

// Whatever the number of workers, each keyword gets exactly the hits a search on
// one connection gives, in the keyword's own slot.
TEST(KeywordSearchTest, GivesEachKeywordTheHitsOfASequentialSearch) {
  test::TempDir vault;
  SearchIndex index(vault.path());
  const std::vector<std::string> words = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot"};
  for (size_t page = 0; page < 30; ++page) {
    std::string body;
    for (size_t w = 0; w < words.size(); ++w) {
      if ((page + 1) % (w + 1) == 0) body += words[w] + " filler text ... ";
    }
    index.upsertPage("Notes", "page" + std::to_string(page) + ".md", "Page", "", "", body);
  }
  const std::vector<std::string> keywords = {"charlie", "alpha", "missing", "echo",
                                             "bravo",   "delta", "foxtrot", "----"};
  for (size_t workers : {1u, 3u, 8u, 20u}) {
    KeywordSearch search(vault.path(), workers);
    const auto results = search.search(keywords, 5);
    ASSERT_EQ(results.size(), keywords.size());
    for (size_t k = 0; k < keywords.size(); ++k) {
      EXPECT_EQ(keys(results[k]), keys(index.search(keywords[k], std::nullopt, 5)))
          << keywords[k] << " with " << workers << " workers";
    }
    EXPECT_EQ(results[1].size(), 5u);
    EXPECT_TRUE(results[2].empty());
    EXPECT_TRUE(results[7].empty());
    // The same object serves a second round on the connections it opened.
    EXPECT_EQ(keys(search.search({"alpha"}, 5)[0]), keys(results[1]));
  }
  EXPECT_TRUE(KeywordSearch(vault.path(), 4).search({}, 5).empty());
}

}  // namespace
}  // namespace corvanta
