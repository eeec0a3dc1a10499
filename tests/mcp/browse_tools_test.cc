#include <filesystem>

#include "mcp/tools_fixture.h"
#include "platform/local_time.h"
#include "vault/page_metadata.h"

namespace corvanta::test {
namespace {

class BrowseToolsTest : public ToolsTest {};

TEST_F(BrowseToolsTest, AnEmptyVaultIsReportedWithItsRootAndIsNoError) {
  std::string expected = "No knowledge bases found in " + root() + "/";
  for (const char* tool : {"corvanta_list_knowledge_bases", "corvanta_get_overview"}) {
    nlohmann::json result = call(tool);
    EXPECT_EQ(text(result), expected) << tool;
    EXPECT_FALSE(isError(result)) << tool;
  }
  EXPECT_EQ(text(call("corvanta_list_files")), "No files found in 'General'");
  EXPECT_EQ(text(call("corvanta_list_topics", {{"kb", "Missing"}})),
            "No topic pages in 'Missing'. Use corvanta_synthesize to create one from related "
            "pages.");
}

TEST_F(BrowseToolsTest, KnowledgeBasesShowCountsAndNewestPageDate) {
  writePage("Research", "a.md", "A", "https://a.example/", "alpha");
  writePage("Research", "b.md", "B", "https://b.example/", "beta");
  std::filesystem::create_directories(root() + "/Empty");
  writeText(pagePath("Empty", "_index.md"), "# Empty\n");  // system files are not pages

  std::vector<KnowledgeBase> kbs = store_->listKnowledgeBases();
  ASSERT_EQ(kbs.size(), 2u);
  ASSERT_TRUE(kbs[1].lastModified.has_value());
  EXPECT_EQ(text(call("corvanta_list_knowledge_bases")),
            "Knowledge bases:\n"
            "- Empty (0 files, last modified: never)\n"
            "- Research (2 files, last modified: " +
                formatMediumDateShortTime(*kbs[1].lastModified) + ")");
}

TEST_F(BrowseToolsTest, ListFilesDefaultsToGeneralAndShowsFiveLinesPerPage) {
  writePage("General", "old.md", "Old page", "https://www.old.example/x", "o",
            "2026-01-02T03:04:05Z");
  writePage("General", "new.md", "New page", "https://new.example/y", "n", "2026-06-01T00:00:00Z");
  auto saved = [](const char* iso) { return formatMediumDateShortTime(dateFromSavedAt(iso)); };

  nlohmann::json result = call("corvanta_list_files");
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result),
            "Files in 'General' (2):\n"
            "- New page\n  URL: https://new.example/y\n  Domain: new.example\n"
            "  Saved: " +
                saved("2026-06-01T00:00:00Z") +
                "\n  File: new.md\n"
                "- Old page\n  URL: https://www.old.example/x\n  Domain: old.example\n"
                "  Saved: " +
                saved("2026-01-02T03:04:05Z") + "\n  File: old.md");

  EXPECT_EQ(text(call("corvanta_list_files", {{"kb", "General"}, {"query", "OLD"}})),
            "Files in 'General' (1):\n"
            "- Old page\n  URL: https://www.old.example/x\n  Domain: old.example\n"
            "  Saved: " +
                saved("2026-01-02T03:04:05Z") + "\n  File: old.md");
  EXPECT_EQ(text(call("corvanta_list_files", {{"query", "nothing like it"}})),
            "No files found in 'General'");
}

TEST_F(BrowseToolsTest, ArgumentsOfAnotherTypeCountAsMissing) {
  writePage("General", "g.md", "G", "https://g.example/", "g");
  writePage("Other", "o.md", "O", "https://o.example/", "o");
  // A number for kb is no kb at all, so the default applies.
  EXPECT_EQ(text(call("corvanta_list_files", {{"kb", 7}})).rfind("Files in 'General' (1):", 0), 0u);
  // Strings are used as sent: no trimming, so " Other" is another knowledge base.
  EXPECT_EQ(text(call("corvanta_list_files", {{"kb", " Other"}})), "No files found in ' Other'");
  // Arguments that are not an object at all read as no arguments.
  EXPECT_EQ(text(call("corvanta_list_files", nlohmann::json::array({"Other"})))
                .rfind("Files in 'General' (1):", 0),
            0u);
}

TEST_F(BrowseToolsTest, ReadFileReturnsTheWholeTextOrAnError) {
  writeText(pagePath("General", "raw.md"), "no front matter\r\nsecond line");
  writeText(pagePath("General", "_index.md"), "# General index\n");

  EXPECT_EQ(text(call("corvanta_read_file", {{"filename", "raw.md"}})),
            "no front matter\r\nsecond line");
  EXPECT_EQ(text(call("corvanta_read_file", {{"kb", "General"}, {"filename", "_index.md"}})),
            "# General index\n");

  nlohmann::json missing = call("corvanta_read_file");
  EXPECT_TRUE(isError(missing));
  EXPECT_EQ(text(missing), "Error: File '' not found in 'General'");
  nlohmann::json escape = call("corvanta_read_file", {{"kb", ".."}, {"filename", "x.md"}});
  EXPECT_TRUE(isError(escape));
  EXPECT_EQ(text(escape), "Error: File 'x.md' not found in '..'");
}

TEST_F(BrowseToolsTest, OverviewOfAKnowledgeBaseFallsBackUntilItsIndexIsBuilt) {
  writePage("Research", "a.md", "Alpha", "https://www.alpha.example/", "alpha body");

  EXPECT_EQ(text(call("corvanta_get_overview", {{"kb", "Research"}})),
            "'Research' — 1 pages (index is being built, call again for the compiled overview):\n"
            "- Alpha (alpha.example) [a.md]");
  settle();
  std::optional<std::string> index = store_->readIndex("Research");
  ASSERT_TRUE(index.has_value()) << "the fallback schedules the index";
  EXPECT_EQ(text(call("corvanta_get_overview", {{"kb", "Research"}})), *index);

  EXPECT_EQ(text(call("corvanta_get_overview", {{"kb", "Nowhere"}})),
            "No files found in 'Nowhere'");
}

TEST_F(BrowseToolsTest, OverviewOfTheVaultJoinsTheGuideAndTheKnowledgeBases) {
  writePage("One", "a.md", "A", "https://a.example/", "a");
  writePage("Two", "b.md", "B", "https://b.example/", "b");
  writePage("Two", "c.md", "C", "https://c.example/", "c");
  std::string knowledgeBases =
      "# Knowledge bases\n\n- One — 1 page\n- Two — 2 pages\n\n"
      "Call `corvanta_get_overview(kb=\"<name>\")` for a per-KB index with titles, domains, "
      "and summaries.";

  EXPECT_EQ(text(call("corvanta_get_overview")), knowledgeBases);
  writeText(root() + "/README.md", "# Guide\n");
  EXPECT_EQ(text(call("corvanta_get_overview")), "# Guide\n\n\n---\n\n" + knowledgeBases);
  // A missing kb and an empty one both mean the whole vault.
  EXPECT_EQ(text(call("corvanta_get_overview", {{"kb", ""}})),
            "# Guide\n\n\n---\n\n" + knowledgeBases);
}

class SearchToolTest : public ToolsTest {
 protected:
  // The index of a new vault is rebuilt in the background on first use; letting
  // that finish first keeps it from replacing the rows written below.
  void SetUp() override {
    store_->searchIndex();
    settle();
  }

  void index(const std::string& kb, const std::string& filename, const std::string& title,
             const std::string& body) {
    FileMeta meta{title, "https://" + filename + ".example/", filename + ".example", "", ""};
    store_->writeFile(kb, filename, body, meta);
  }
};

TEST_F(BrowseToolsTest, AnEmptyQueryAnswersWithoutOpeningTheIndex) {
  std::filesystem::create_directories(root());
  for (const nlohmann::json& arguments :
       {nlohmann::json::object(), nlohmann::json{{"query", ""}}, nlohmann::json{{"query", 3}}}) {
    nlohmann::json result = call("corvanta_search", arguments);
    EXPECT_EQ(text(result), "No results found for ''");
    EXPECT_FALSE(isError(result));
  }
  EXPECT_FALSE(std::filesystem::exists(root() + "/.kest-search.db"))
      << "an empty query must not open the index";
  writePage("General", "p.md", "P", "https://p.example/", "punctuation");
  EXPECT_EQ(text(call("corvanta_search", {{"query", "!!!"}})), "No results found for '!!!'");
}

TEST_F(SearchToolTest, HitsShowTheirFirstTwoMatchingLines) {
  // "..." inside the body splits the snippet into several matching lines.
  index("General", "zebra.md", "Zebra facts",
        "zebra one ... zebra two ... zebra three ... zebra four");
  index("General", "plain.md", "Plain", "nothing to see");

  EXPECT_EQ(text(call("corvanta_search", {{"query", "zebra"}})),
            "Search results for 'zebra' (1 matches):\n"
            "- Zebra facts [General/zebra.md]\n  URL: https://zebra.md.example/\n"
            "  > zebra one\n  > zebra two");
  EXPECT_EQ(text(call("corvanta_search", {{"query", "giraffe"}})),
            "No results found for 'giraffe'");
}

TEST_F(SearchToolTest, AKnowledgeBaseRestrictsTheSearchAndAnEmptyOneDoesNot) {
  index("Alpha", "a.md", "Quokka in Alpha", "quokka");
  index("Beta", "b.md", "Quokka in Beta", "quokka");

  EXPECT_EQ(text(call("corvanta_search", {{"query", "quokka"}, {"kb", "Beta"}})),
            "Search results for 'quokka' (1 matches):\n"
            "- Quokka in Beta [Beta/b.md]\n  URL: https://b.md.example/\n  > quokka");
  const std::string all = "Search results for 'quokka' (2 matches)";
  EXPECT_EQ(text(call("corvanta_search", {{"query", "quokka"}})).rfind(all, 0), 0u);
  EXPECT_EQ(text(call("corvanta_search", {{"query", "quokka"}, {"kb", ""}})).rfind(all, 0), 0u);
}

TEST_F(BrowseToolsTest, TopicsAreTitledByTheirHeadingOrTheirSlug) {
  writeText(pagePath("Research", "_topic-b-titled.md"), "intro\r\n# Second Line Title\n# Later\n");
  writeText(pagePath("Research", "_topic-a-plain.md"), "no heading here\n#not a heading\n");
  writeText(pagePath("Research", "_topic-c-broken.md"), std::string("\xff\xfe bad bytes"));
  writePage("Research", "page.md", "Page", "https://p.example/", "p");

  EXPECT_EQ(text(call("corvanta_list_topics", {{"kb", "Research"}})),
            "Topic pages in 'Research' (3):\n"
            "- **a-plain** [_topic-a-plain.md]\n"
            "- **Second Line Title** [_topic-b-titled.md]\n"
            "- c-broken [_topic-c-broken.md]");
  EXPECT_EQ(text(call("corvanta_list_topics")),
            "No topic pages in 'General'. Use corvanta_synthesize to create one from related "
            "pages.");
}

TEST_F(BrowseToolsTest, RelationsListTheOtherEndWithItsReason) {
  EXPECT_EQ(text(call("corvanta_get_relations", {{"filename", "a.md"}})),
            "No related pages found for 'a.md' in 'General'. Use corvanta_add_relation to record "
            "connections you discover.");

  store_->addRelation("General/a.md", "Research/b.md", "Both about otters");
  store_->addRelation("Other/c.md", "General/a.md", "Cites it");
  EXPECT_EQ(text(call("corvanta_get_relations", {{"kb", "General"}, {"filename", "a.md"}})),
            "Related pages for 'a.md' (2):\n"
            "- **b.md** (Research)\n  Both about otters\n"
            "- **c.md** (Other)\n  Cites it");
}

TEST_F(BrowseToolsTest, UnknownNamesAreErrorsComparedExactly) {
  for (const char* name : {"", "corvanta_LIST_FILES", "corvanta_save_url", "list_files"}) {
    nlohmann::json result = call(name);
    EXPECT_TRUE(isError(result)) << name;
    EXPECT_EQ(text(result), std::string("Unknown tool: ") + name);
  }
}

}  // namespace
}  // namespace corvanta::test
