#include "search/search_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/background_queue.h"
#include "support/index_rows.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

namespace fs = std::filesystem;

class SearchIndexTest : public ::testing::Test {
 protected:
  void add(const std::string& kb, const std::string& filename, const std::string& body,
           const std::string& title = "Title", const std::string& url = "") {
    index.upsertPage(kb, filename, title, "example.com", url, body);
  }

  std::vector<std::string> hits(const std::string& query,
                                const std::optional<std::string>& kb = std::nullopt) {
    std::vector<std::string> keys;
    for (const SearchResult& hit : index.search(query, kb, 20)) {
      keys.push_back(hit.kb + "/" + hit.filename);
    }
    std::sort(keys.begin(), keys.end());
    return keys;
  }

  test::TempDir dir;
  SearchIndex index{dir.path()};
};

using Keys = std::vector<std::string>;

TEST_F(SearchIndexTest, CreatesTheExactSchema) {
  EXPECT_EQ(index.dbPath(), dir / ".kest-search.db");
  EXPECT_EQ(test::querySingleValue(index.dbPath(),
                                   "SELECT sql FROM sqlite_master WHERE name = 'pages_fts'"),
            "CREATE VIRTUAL TABLE pages_fts USING fts5(kb, filename, title, domain, url, body, "
            "tokenize='porter unicode61')");
  EXPECT_EQ(test::querySingleValue(index.dbPath(), "PRAGMA user_version"), "1");
  EXPECT_EQ(test::querySingleValue(index.dbPath(), "PRAGMA journal_mode"), "wal");
}

TEST_F(SearchIndexTest, OneWordMatchesPrefixesAndStems) {
  add("General", "reactive.md", "a reactive system");
  add("General", "reacting.md", "people reacting to news");
  add("General", "react.md", "react itself");
  add("General", "other.md", "nothing relevant");
  EXPECT_EQ(hits("react"),
            (Keys{"General/react.md", "General/reacting.md", "General/reactive.md"}));
}

TEST_F(SearchIndexTest, SeveralWordsMustAllOccurInAnyColumns) {
  add("General", "both.md", "react and hooks together");
  add("General", "split.md", "hooks only in the body", "A react title");
  add("General", "one.md", "react only");
  EXPECT_EQ(hits("react hooks"), (Keys{"General/both.md", "General/split.md"}));
  // Several words get no prefix matching.
  EXPECT_TRUE(hits("rea hoo").empty());
}

TEST_F(SearchIndexTest, UserTextCannotInjectSyntax) {
  add("General", "a.md", "say hi to everyone");
  EXPECT_EQ(hits("say \"hi\""), Keys{"General/a.md"});
  EXPECT_TRUE(hits("say OR nothing").empty());
  EXPECT_NO_THROW(hits("\"unbalanced"));
  EXPECT_NO_THROW(hits("* ^ : ( ) {kb}: NEAR"));
  EXPECT_NO_THROW(hits("$$$"));
}

TEST_F(SearchIndexTest, WordlessQueriesReturnNothing) {
  add("General", "a.md", "anything");
  EXPECT_TRUE(index.search("", std::nullopt, 20).empty());
  EXPECT_TRUE(index.search("   ", std::nullopt, 20).empty());
  EXPECT_TRUE(index.search("!!!", std::nullopt, 20).empty());
}

TEST_F(SearchIndexTest, KnowledgeBaseFilterIsExact) {
  add("Research", "a.md", "quantum");
  add("research", "b.md", "quantum");
  add("Research Two", "c.md", "quantum");
  EXPECT_EQ(hits("quantum", std::string("Research")), Keys{"Research/a.md"});
  EXPECT_EQ(hits("quantum").size(), 3u);
}

TEST_F(SearchIndexTest, ResultsCarryRowFieldsAndSnippetLines) {
  index.upsertPage("General", "a.md", "The Title", "example.com", "https://example.com/a",
                   "first part... second part with needle... third part ... fourth ... fifth");
  auto results = index.search("needle", std::nullopt, 20);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].title, "The Title");
  EXPECT_EQ(results[0].domain, "example.com");
  EXPECT_EQ(results[0].url, "https://example.com/a");
  EXPECT_GE(results[0].matchingLines.size(), 2u);
  EXPECT_LE(results[0].matchingLines.size(), 3u);
  for (const auto& line : results[0].matchingLines) {
    EXPECT_EQ(line.find("..."), std::string::npos);
    EXPECT_FALSE(line.empty());
  }
}

TEST_F(SearchIndexTest, SnippetOfALongBodyIsCutAroundTheMatch) {
  std::string body;
  for (int i = 0; i < 200; ++i) body += "filler" + std::to_string(i) + " ";
  body += "needle ";
  for (int i = 0; i < 200; ++i) body += "tail" + std::to_string(i) + " ";
  add("General", "long.md", body);
  auto results = index.search("needle", std::nullopt, 20);
  ASSERT_EQ(results.size(), 1u);
  ASSERT_EQ(results[0].matchingLines.size(), 1u);
  EXPECT_NE(results[0].matchingLines[0].find("needle"), std::string::npos);
  EXPECT_LT(results[0].matchingLines[0].size(), 400u);
}

TEST_F(SearchIndexTest, UpsertKeepsOneRowPerPage) {
  add("General", "a.md", "first version", "First");
  add("General", "a.md", "second version", "Second");
  add("Other", "a.md", "unrelated");
  auto rows = test::readIndexRows(index.dbPath());
  EXPECT_EQ(test::rowCountsByKey(rows),
            (std::map<std::string, int>{{"General/a.md", 1}, {"Other/a.md", 1}}));
  EXPECT_TRUE(hits("first").empty());
  auto results = index.search("second", std::nullopt, 20);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].title, "Second");
}

TEST_F(SearchIndexTest, KeysThatConcatenateAlikeStayApart) {
  add("ab", "c.md", "one");
  add("a", "bc.md", "two");
  EXPECT_EQ(test::rowCountsByKey(test::readIndexRows(index.dbPath())).size(), 2u);
  index.removePage("a", "bc.md");
  EXPECT_EQ(hits("one"), Keys{"ab/c.md"});
}

TEST_F(SearchIndexTest, RemoveDropsOnlyThatPage) {
  add("General", "a.md", "shared");
  add("General", "b.md", "shared");
  index.removePage("General", "a.md");
  index.removePage("General", "missing.md");
  EXPECT_EQ(hits("shared"), Keys{"General/b.md"});
  index.removeKnowledgeBase("General");
  EXPECT_TRUE(hits("shared").empty());
}

TEST_F(SearchIndexTest, CountsPagesByExactURL) {
  add("A", "1.md", "x", "T", "https://example.com/page");
  add("B", "2.md", "x", "T", "https://example.com/page");
  add("B", "3.md", "x", "T", "https://example.com/page/");
  EXPECT_EQ(index.countPagesWithURL("https://example.com/page"), 2);
  EXPECT_EQ(index.countPagesWithURL("https://example.com/other"), 0);
}

TEST_F(SearchIndexTest, RowsWithoutACompletedRebuildReadAsEmpty) {
  EXPECT_TRUE(index.isEmpty());
  add("General", "a.md", "x");
  // Rows from upserts alone may be a fraction of the vault.
  EXPECT_TRUE(index.isEmpty());
}

TEST(SearchIndexOpenTest, ResetOfAForeignDatabaseKeepsItsOtherTables) {
  test::TempDir dir;
  std::string db = dir / ".kest-search.db";
  ASSERT_TRUE(test::executeOn(db,
                              "CREATE TABLE notes (text TEXT);"
                              "INSERT INTO notes VALUES ('keep me');"
                              "CREATE VIRTUAL TABLE pages_fts USING fts5(kb, body);"
                              "INSERT INTO pages_fts VALUES ('General', 'stale row');"
                              "PRAGMA user_version = 0;"));
  SearchIndex index(dir.path());
  EXPECT_EQ(test::querySingleValue(db, "SELECT text FROM notes"), "keep me");
  EXPECT_EQ(test::querySingleValue(db, "SELECT COUNT(*) FROM pages_fts"), "0");
  EXPECT_EQ(test::querySingleValue(db, "PRAGMA user_version"), "1");
  EXPECT_TRUE(index.isEmpty());
  index.upsertPage("General", "a.md", "T", "", "", "fresh");
  EXPECT_EQ(index.search("fresh", std::nullopt, 20).size(), 1u);
}

TEST(SearchIndexOpenTest, ResetForgetsACompletedRebuild) {
  test::TempDir dir;
  test::writeText(dir / "General/a.md", "row");
  BackgroundQueue queue(1);
  auto store = std::make_shared<KestFileManager>(dir.path(), Paths(dir.path(), "", ""), queue);
  {
    SearchIndex index(dir.path());
    index.rebuildAll(*store);
    ASSERT_FALSE(index.isEmpty());
  }
  ASSERT_TRUE(test::executeOn(dir / ".kest-search.db", "PRAGMA user_version = 0"));
  SearchIndex reopened(dir.path());
  EXPECT_TRUE(reopened.isEmpty());
  EXPECT_EQ(test::querySingleValue(reopened.dbPath(), "SELECT COUNT(*) FROM pages_fts"), "0");
}

TEST(SearchIndexOpenTest, CurrentDatabaseIsKeptAsIs) {
  test::TempDir dir;
  { SearchIndex(dir.path()).upsertPage("General", "a.md", "T", "", "", "persisted"); }
  SearchIndex reopened(dir.path());
  EXPECT_EQ(reopened.search("persisted", std::nullopt, 20).size(), 1u);
}

TEST(SearchIndexOpenTest, MissingFolderGivesEmptyAnswersUntilItExists) {
  test::TempDir dir;
  SearchIndex index(dir / "not-yet");
  EXPECT_TRUE(index.search("anything", std::nullopt, 20).empty());
  EXPECT_EQ(index.countPagesWithURL("https://x"), 0);
  EXPECT_TRUE(index.isEmpty());
  index.upsertPage("General", "a.md", "T", "", "", "lost");

  // The vault folder appears later (the first save creates it): the index opens
  // then instead of staying unusable for the life of the process.
  fs::create_directories(dir / "not-yet");
  index.upsertPage("General", "b.md", "T", "", "", "kept");
  EXPECT_EQ(index.search("kept", std::nullopt, 20).size(), 1u);
}

TEST(SearchIndexOpenTest, AFileThatIsNotADatabaseIsReplaced) {
  test::TempDir dir;
  test::writeText(dir / ".kest-search.db", std::string(4096, 'x'));
  SearchIndex index(dir.path());
  EXPECT_TRUE(index.isEmpty());
  index.upsertPage("General", "a.md", "T", "", "", "recovered");
  EXPECT_EQ(index.search("recovered", std::nullopt, 20).size(), 1u);
}

// --- Statements kept prepared between calls -------------------------------------

TEST_F(SearchIndexTest, KeptStatementsFollowATableRecreatedByAnotherConnection) {
  add("General", "old.md", "harbour lights");
  add("Work", "w.md", "harbour cranes");
  ASSERT_EQ(hits("harbour", "Work"), (Keys{"Work/w.md"}));
  ASSERT_EQ(index.countPagesWithURL(""), 2);

  // What a reset in another process does: the table is dropped and created anew.
  ASSERT_TRUE(
      test::executeOn(index.dbPath(),
                      "DROP TABLE pages_fts;"
                      "CREATE VIRTUAL TABLE pages_fts USING fts5(kb, filename, title, "
                      "domain, url, body, tokenize='porter unicode61');"
                      "INSERT INTO pages_fts (kb, filename, title, domain, url, body) "
                      "VALUES ('Work', 'new.md', 'T', '', 'https://n', 'harbour ferries');"));
  EXPECT_EQ(hits("harbour"), (Keys{"Work/new.md"}));
  EXPECT_EQ(hits("harbour", "Work"), (Keys{"Work/new.md"}));
  EXPECT_EQ(index.countPagesWithURL("https://n"), 1);
  add("General", "again.md", "harbour tugs");
  EXPECT_EQ(hits("harbour"), (Keys{"General/again.md", "Work/new.md"}));
}

TEST_F(SearchIndexTest, KeptStatementsHoldNoReadTransactionBetweenCalls) {
  for (int i = 0; i < 30; ++i) add("General", std::to_string(i) + ".md", "tide", "T", "https://t");
  // A limit below the hit count and a single-row count both leave rows unread.
  ASSERT_EQ(index.search("tide", std::nullopt, 5).size(), 5u);
  ASSERT_EQ(index.countPagesWithURL("https://t"), 30);
  // A reader still inside a transaction would keep the log from being emptied.
  ASSERT_TRUE(test::executeOn(index.dbPath(), "PRAGMA wal_checkpoint(TRUNCATE)"));
  EXPECT_EQ(fs::file_size(index.dbPath() + "-wal"), 0u);
}

TEST_F(SearchIndexTest, BindingsOfOneCallNeverLeakIntoTheNext) {
  add("A", "a.md", "comet");
  add("B", "b.md", "comet");
  EXPECT_EQ(hits("comet", "A"), (Keys{"A/a.md"}));
  EXPECT_EQ(hits("comet"), (Keys{"A/a.md", "B/b.md"}));
  EXPECT_EQ(hits("comet", "B"), (Keys{"B/b.md"}));
  EXPECT_TRUE(hits("comet", "C").empty());
}

TEST(SearchIndexOpenTest, ClosingWithKeptStatementsReleasesTheDatabase) {
  test::TempDir dir;
  {
    SearchIndex index(dir.path());
    index.upsertPage("General", "a.md", "T", "", "https://a", "closing");
    ASSERT_EQ(index.search("closing", std::nullopt, 20).size(), 1u);
    ASSERT_EQ(index.countPagesWithURL("https://a"), 1);
  }
  // The last connection to close removes the log; one left open by statements
  // that were never finalized would leave it behind.
  EXPECT_FALSE(fs::exists(dir / ".kest-search.db-wal"));
}

}  // namespace
}  // namespace corvanta
