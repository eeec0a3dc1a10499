#include <filesystem>

#include "mcp/tools_fixture.h"
#include "mcp/topic_slug.h"
#include "platform/unicode_text.h"

namespace corvanta::test {
namespace {

namespace fs = std::filesystem;

class OrganiseToolsTest : public ToolsTest {
 protected:
  void expectError(const nlohmann::json& result, const std::string& expected) {
    EXPECT_TRUE(isError(result));
    EXPECT_EQ(text(result), expected);
  }
  // Regenerated derived files prove that a change scheduled its follow-ups.
  void removeDerivedFiles() {
    std::error_code ignored;
    fs::remove(root() + "/README.md", ignored);
    for (const auto& entry : fs::directory_iterator(root())) {
      fs::remove(entry.path() / "_index.md", ignored);
    }
  }
  bool hasIndex(const std::string& kb) { return fs::exists(pagePath(kb, "_index.md")); }
  bool hasGuide() { return fs::exists(root() + "/README.md"); }
};

TEST(TopicSlugTest, KeepsLettersAndNumbersOfEveryScriptAndHyphens) {
  EXPECT_EQ(topicSlug("React Hooks: Deep-Dive!"), "react-hooks-deep-dive");
  EXPECT_EQ(topicSlug("Čeština Über 東京 2024 ٣"), "čeština-über-東京-2024-٣");
  // Only the space character becomes a hyphen; tabs and other punctuation vanish.
  EXPECT_EQ(topicSlug("a\tb  c_d/e.f"), "ab--cdef");
  // Marks are not letters: a decomposed accent loses its combining mark.
  EXPECT_EQ(topicSlug("Cafe\u0301"), "cafe");
  EXPECT_EQ(topicSlug("?!"), "");
}

TEST(TopicSlugTest, CapsAtFiftyCharactersNotBytes) {
  EXPECT_EQ(topicSlug(std::string(60, 'x')), std::string(50, 'x'));
  std::string cyrillic;
  for (int i = 0; i < 60; ++i) cyrillic += "Ж";
  std::string slug = topicSlug(cyrillic);
  EXPECT_EQ(graphemeCount(slug), 50u);
  EXPECT_EQ(slug.substr(0, 2), "ж");
}

TEST_F(OrganiseToolsTest, WriteTopicNeedsTopicAndContent) {
  const char* required = "Error: Both topic and content are required";
  expectError(call("corvanta_write_topic"), required);
  expectError(call("corvanta_write_topic", {{"topic", "T"}}), required);
  expectError(call("corvanta_write_topic", {{"content", "C"}, {"topic", 1}}), required);
  EXPECT_FALSE(fs::exists(root()));
}

TEST_F(OrganiseToolsTest, WriteTopicWritesTheSluggedPageIntoGeneralByDefault) {
  nlohmann::json result =
      call("corvanta_write_topic", {{"topic", "React Hooks: Deep-Dive!"}, {"content", "# One"}});
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result), "Topic page saved: _topic-react-hooks-deep-dive.md in 'General'");
  EXPECT_EQ(readText(pagePath("General", "_topic-react-hooks-deep-dive.md")), "# One");

  call("corvanta_write_topic",
       {{"kb", "Research"}, {"topic", "react hooks deep-dive"}, {"content", "# Two"}});
  call("corvanta_write_topic",
       {{"kb", "Research"}, {"topic", "React Hooks Deep-Dive"}, {"content", "# Three"}});
  EXPECT_EQ(readText(pagePath("Research", "_topic-react-hooks-deep-dive.md")), "# Three");

  EXPECT_EQ(text(call("corvanta_write_topic", {{"topic", "!!!"}, {"content", "x"}})),
            "Topic page saved: _topic-.md in 'General'");
  expectError(call("corvanta_write_topic", {{"kb", "a/b"}, {"topic", "T"}, {"content", "C"}}),
              "Error: Failed to write topic page — Invalid name: Knowledge base name cannot "
              "contain path separators");
}

TEST_F(OrganiseToolsTest, AddRelationNeedsAllThreeAndAcceptsUnknownPages) {
  const char* required = "Error: from, to, and reason are all required";
  expectError(call("corvanta_add_relation", {{"from", "A/a.md"}, {"to", "B/b.md"}}), required);
  expectError(call("corvanta_add_relation", {{"to", "B/b.md"}, {"reason", "r"}}), required);

  nlohmann::json result =
      call("corvanta_add_relation", {{"from", "A/a.md"}, {"to", "B/b.md"}, {"reason", "Why"}});
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result), "Relation added: A/a.md ↔ B/b.md — Why");
  EXPECT_EQ(store_->loadGraph().edges.size(), 1u);
}

TEST_F(OrganiseToolsTest, MoveChecksArgumentsInOrderAndCarriesFailures) {
  writePage("A", "p.md", "P", "https://p.example/", "p");
  expectError(call("corvanta_move_file", {{"from_kb", "A"}, {"to_kb", "A"}}),
              "Error: from_kb, filename, and to_kb are all required");
  expectError(call("corvanta_move_file", {{"from_kb", "A"}, {"filename", "p.md"}, {"to_kb", "A"}}),
              "Error: source and destination KB are the same ('A')");
  EXPECT_TRUE(fs::exists(pagePath("A", "p.md")));

  nlohmann::json missing =
      call("corvanta_move_file", {{"from_kb", "A"}, {"filename", "gone.md"}, {"to_kb", "B"}});
  EXPECT_TRUE(isError(missing));
  EXPECT_EQ(text(missing).rfind("Error moving file: ", 0), 0u) << text(missing);
  expectError(
      call("corvanta_move_file", {{"from_kb", "A"}, {"filename", "../x.md"}, {"to_kb", "B"}}),
      "Error moving file: Invalid name: Filename cannot contain '..'");
  settle();
  EXPECT_FALSE(hasGuide()) << "a failed move schedules no regeneration";
}

TEST_F(OrganiseToolsTest, MoveRefreshesBothIndexesAndTheGuide) {
  writePage("A", "p.md", "P", "https://p.example/", "p");
  writePage("A", "q.md", "Q", "https://q.example/", "q");
  nlohmann::json result =
      call("corvanta_move_file", {{"from_kb", "A"}, {"filename", "p.md"}, {"to_kb", "B"}});
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result), "Moved 'p.md' from 'A' to 'B'");
  EXPECT_TRUE(fs::exists(pagePath("B", "p.md")));
  EXPECT_FALSE(fs::exists(pagePath("A", "p.md")));
  settle();
  EXPECT_TRUE(hasIndex("A"));
  EXPECT_TRUE(hasIndex("B"));
  EXPECT_TRUE(hasGuide());
}

TEST_F(OrganiseToolsTest, EditReplacesThePageAndRefreshesItsIndexAndTheGuide) {
  writePage("General", "p.md", "P", "https://p.example/", "p");
  nlohmann::json result =
      call("corvanta_edit_file", {{"kb", "General"}, {"filename", "p.md"}, {"content", "# New"}});
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result), "Updated 'p.md' in 'General'");
  EXPECT_EQ(readText(pagePath("General", "p.md")), "# New");
  settle();
  EXPECT_TRUE(hasIndex("General"));
  EXPECT_TRUE(hasGuide());
}

TEST_F(OrganiseToolsTest, EditNeedsAllThreeAndCarriesTheStoresRefusals) {
  writeText(pagePath("General", "_index.md"), "# index");
  // No default knowledge base for an edit: it must name its target.
  expectError(call("corvanta_edit_file", {{"filename", "_index.md"}, {"content", "new"}}),
              "Error: kb, filename, and content are all required");
  expectError(
      call("corvanta_edit_file", {{"kb", "General"}, {"filename", "_index.md"}, {"content", "x"}}),
      "Error editing file: Invalid name: Cannot edit system files (filenames starting with '_')");
  expectError(
      call("corvanta_edit_file", {{"kb", "General"}, {"filename", "a.md"}, {"content", "x"}}),
      "Error editing file: Invalid name: File 'a.md' does not exist in 'General'");
  EXPECT_EQ(readText(pagePath("General", "_index.md")), "# index");
}

TEST_F(OrganiseToolsTest, DeleteRefusesSystemFilesBeforeAskingTheStore) {
  writeText(pagePath("General", "_index.md"), "# index");
  expectError(call("corvanta_delete_file", {{"kb", "General"}}),
              "Error: kb and filename are required");
  expectError(call("corvanta_delete_file", {{"kb", "General"}, {"filename", "_index.md"}}),
              "Error: Cannot delete system files (starting with '_')");
  // Even a name the store would refuse is stopped by the system-file rule first.
  expectError(call("corvanta_delete_file", {{"kb", "a/b"}, {"filename", "_x/y"}}),
              "Error: Cannot delete system files (starting with '_')");
  EXPECT_TRUE(fs::exists(pagePath("General", "_index.md")));
}

TEST_F(OrganiseToolsTest, DeleteRemovesThePageAndRefreshes) {
  writePage("General", "p.md", "P", "https://p.example/", "p");
  writePage("General", "q.md", "Q", "https://q.example/", "q");
  nlohmann::json result = call("corvanta_delete_file", {{"kb", "General"}, {"filename", "p.md"}});
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result), "Deleted 'p.md' from 'General'");
  EXPECT_FALSE(fs::exists(pagePath("General", "p.md")));
  settle();
  EXPECT_TRUE(hasIndex("General"));
  EXPECT_TRUE(hasGuide());

  removeDerivedFiles();
  nlohmann::json missing = call("corvanta_delete_file", {{"kb", "General"}, {"filename", "p.md"}});
  EXPECT_TRUE(isError(missing));
  EXPECT_EQ(text(missing).rfind("Error deleting file: ", 0), 0u) << text(missing);
  settle();
  EXPECT_FALSE(hasGuide());
}

TEST_F(OrganiseToolsTest, DeleteKnowledgeBaseOnlyWhenItHasNoPages) {
  writePage("Full", "a.md", "A", "https://a.example/", "a");
  writePage("Full", "b.md", "B", "https://b.example/", "b");
  writePage("Full", "c.md", "C", "https://c.example/", "c");
  writePage("Single", "a.md", "A", "https://a.example/", "a");

  expectError(call("corvanta_delete_kb"), "Error: name is required");
  expectError(call("corvanta_delete_kb", {{"name", "full"}}),
              "Error: Knowledge base 'full' not found");
  expectError(call("corvanta_delete_kb", {{"name", "Full"}}),
              "Error: 'Full' still has 3 files. Move or delete them first.");
  expectError(call("corvanta_delete_kb", {{"name", "Single"}}),
              "Error: 'Single' still has 1 files. Move or delete them first.");
  EXPECT_TRUE(fs::exists(pagePath("Full", "a.md")));
  EXPECT_TRUE(fs::exists(pagePath("Single", "a.md")));
}

TEST_F(OrganiseToolsTest, DeleteKnowledgeBaseTakesItsSystemFilesAlong) {
  writeText(pagePath("Old", "_index.md"), "# Old");
  writeText(pagePath("Old", "_topic-x.md"), "# X");
  writeText(pagePath("Old", ".hidden"), "");
  nlohmann::json result = call("corvanta_delete_kb", {{"name", "Old"}});
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result), "Deleted empty knowledge base 'Old'");
  EXPECT_FALSE(fs::exists(root() + "/Old"));
  settle();
  EXPECT_TRUE(hasGuide());
}

TEST_F(OrganiseToolsTest, DeleteKnowledgeBaseKeepsFilesThatAreNotPages) {
  // Nothing here is a page (wrong suffix, a folder), so the page count is 0, but
  // removing the folder would destroy the user's own files.
  writeText(pagePath("Attachments", "paper.pdf"), "%PDF");
  writeText(pagePath("Attachments", "Notes.MD"), "notes");
  fs::create_directories(root() + "/Attachments/images");
  expectError(call("corvanta_delete_kb", {{"name", "Attachments"}}),
              "Error: 'Attachments' still has 3 files. Move or delete them first.");
  EXPECT_TRUE(fs::exists(pagePath("Attachments", "paper.pdf")));
}

}  // namespace
}  // namespace corvanta::test
