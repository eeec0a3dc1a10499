#include "integrations/page_tally.h"

#include <gtest/gtest.h>

namespace corvanta {
namespace {

SearchResult record(const std::string& filename, const std::string& title,
                    std::vector<std::string> lines) {
  return SearchResult{"Notes",       filename,        title, "https://example.org/" + filename,
                      "example.org", std::move(lines)};
}

TEST(PageTallyTest, ScoresTenPerDistinctKeywordPlusHits) {
  PageTally tally({"rust", "ownership", "rust"});
  const std::string_view index = tally.keep("[a.md] [b.md]");
  tally.addIndexHit("Notes", index.substr(1, 4), 0);
  tally.addIndexHit("Notes", index.substr(1, 4), 2);  // the same keyword again
  tally.addIndexHit("Notes", index.substr(8, 4), 1);
  const auto best = tally.best(5);
  ASSERT_EQ(best.size(), 2u);
  EXPECT_EQ(best[0].result.filename, "a.md");
  EXPECT_EQ(best[0].score, 12);
  EXPECT_EQ(best[0].result.kb, "Notes");
  EXPECT_TRUE(best[0].result.title.empty());
  EXPECT_EQ(best[1].score, 11);
}

TEST(PageTallyTest, KeepsTheFirstRecordUnlessItLacksTitleOrExcerpts) {
  const SearchResult untitled = record("a.md", "", {"one"});
  const SearchResult bare = record("a.md", "Bare", {});
  const SearchResult full = record("a.md", "Full", {"one", "two"});
  const SearchResult later = record("a.md", "Later", {"three"});
  PageTally tally({"k1", "k2", "k3", "k4"});
  tally.addSearchHit(untitled, 0, 1);
  tally.addSearchHit(bare, 1, 1);  // replaces: no title before
  tally.addSearchHit(full, 2, 2);  // replaces: no excerpt lines before
  tally.addSearchHit(later, 3, 1);
  const auto best = tally.best(1);
  ASSERT_EQ(best.size(), 1u);
  EXPECT_EQ(best[0].result.title, "Full");
  EXPECT_EQ(best[0].score, 45);
}

TEST(PageTallyTest, EqualScoresComeInKnowledgeBaseThenFileNameOrder) {
  PageTally tally({"word"});
  const std::string_view names = tally.keep("c.md b.md a.md");
  tally.addIndexHit("Zeta", names.substr(10, 4), 0);
  tally.addIndexHit("Alpha", names.substr(0, 4), 0);
  tally.addIndexHit("Alpha", names.substr(5, 4), 0);
  const auto best = tally.best(2);
  ASSERT_EQ(best.size(), 2u);
  EXPECT_EQ(best[0].result.filename, "b.md");
  EXPECT_EQ(best[1].result.filename, "c.md");
  EXPECT_TRUE(PageTally({}).best(5).empty());
}

}  // namespace
}  // namespace corvanta
