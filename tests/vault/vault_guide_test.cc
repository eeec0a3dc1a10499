#include <gtest/gtest.h>

#include <filesystem>

#include "derived_files_fixture.h"

namespace corvanta {
namespace {

using test::PageSpec;

const std::string kGuideHead =
    "# Corvanta Vault\n"
    "\n"
    "This is your personal knowledge library, managed by Corvanta.\n"
    "Claude uses this vault to ground answers in your curated knowledge.\n"
    "\n";

const std::string kGuideTailAfterRoot =
    "/.\n"
    "Every saved page is a markdown file named after its save time\n"
    "(`YYYY-MM-DD HH.MM.SS.md`, so sorting by name = chronological order)\n"
    "with metadata in its header:\n"
    "\n"
    "- Files with the standard Corvanta header (# Title as H1, then \xF0\x9F\x94\x97 Source, "
    "\xF0\x9F\x93\x85 Saved on) \xE2\x80\x94 legacy files may use \xF0\x9F\x93\x84 Title: "
    "instead of the H1.\n"
    "- Files starting with --- use YAML frontmatter (title, url, domain, saved_at).\n"
    "\n"
    "Both formats are fully supported. Metadata is always available regardless of format.\n"
    "\n"
    "## Compiled indexes\n"
    "\n"
    "Each knowledge base contains an `_index.md` with all pages grouped by source domain\n"
    "and one-line summaries, plus a list of recent saves. These are auto-generated\n"
    "and updated on every save.\n"
    "\n"
    "## About Corvanta\n"
    "\n"
    "Corvanta is a Chrome extension that converts any webpage to clean, structured markdown.\n"
    "Pages are stored locally in this vault and exposed to Claude via Corvanta MCP, giving\n"
    "you a personalized AI that knows your research.\n";

class VaultGuideTest : public test::DerivedFilesTest {
 protected:
  std::string guide() const { return test::readText(root_ + "/README.md"); }
  // The knowledge-base section: from "## Knowledge bases" up to "## How files".
  std::string knowledgeBaseSection() const {
    std::string text = guide();
    size_t start = text.find("## Knowledge bases\n");
    size_t end = text.find("## How files are organized\n");
    if (start == std::string::npos || end == std::string::npos) return {};
    return text.substr(start, end - start);
  }
  void addPages(const std::string& kb, int count, const std::string& domain) {
    for (int i = 0; i < count; ++i) {
      addPage(kb, domain + "-" + std::to_string(i) + ".md", {"T", domain, "", ""});
    }
  }
};

TEST_F(VaultGuideTest, EmptyVaultHasNoKnowledgeBaseSection) {
  std::filesystem::create_directories(root_ + "/.hidden");
  store_->generateGuide();
  EXPECT_EQ(guide(), kGuideHead +
                         "## How files are organized\n"
                         "\n"
                         "Each knowledge base is a folder inside " +
                         root_ + kGuideTailAfterRoot);
}

TEST_F(VaultGuideTest, TableAndMilestoneBelowTheGoal) {
  addPages("Research", 40, "a.com");
  addPage("Research", "nodomain.md", {"No domain", "", "", "no front matter domain"});
  std::filesystem::create_directories(root_ + "/Empty");
  store_->generateGuide();

  EXPECT_EQ(knowledgeBaseSection(),
            "## Knowledge bases\n"
            "\n"
            "| Knowledge Base | Pages | Top sources |\n"
            "|---|---|---|\n"
            "| Empty | 0 |  |\n"
            "| Research | 41 | a.com |\n"
            "\n"
            "**41 pages saved** \xE2\x80\x94 1 more to unlock Superintelligence.\n"
            "\n");
  EXPECT_TRUE(guide().starts_with(kGuideHead + "## Knowledge bases\n"));
}

TEST_F(VaultGuideTest, MilestoneReachedAtFortyTwo) {
  addPages("A", 21, "a.com");
  addPages("B", 21, "b.com");
  store_->generateGuide();
  EXPECT_NE(knowledgeBaseSection().find(
                "\n\n**42 pages saved** \xE2\x80\x94 Superintelligence unlocked.\n\n"),
            std::string::npos);
}

TEST_F(VaultGuideTest, TopSourcesAreTheThreeDomainsWithMostPages) {
  addPages("KB", 4, "four.com");
  addPages("KB", 1, "one.com");
  addPages("KB", 3, "three.com");
  addPages("KB", 2, "two.com");
  addPages("KB", 1, "also-one.com");
  for (int i = 0; i < 6; ++i) {
    // Standard header without a source line: no domain, never a top source.
    test::writeText(path("KB", "plain-" + std::to_string(i) + ".md"), "# Plain\n\nText.\n");
  }
  store_->generateGuide();
  EXPECT_NE(knowledgeBaseSection().find("| KB | 17 | four.com, three.com, two.com |\n"),
            std::string::npos)
      << knowledgeBaseSection();
}

TEST_F(VaultGuideTest, RemovesLegacyFilesButNeverAKnowledgeBase) {
  addPages("General", 1, "a.com");
  test::writeText(root_ + "/KEST.md", "old guide");
  test::writeText(root_ + "/_log.md", "old log");
  store_->generateGuide();
  EXPECT_FALSE(std::filesystem::exists(root_ + "/KEST.md"));
  EXPECT_FALSE(std::filesystem::exists(root_ + "/_log.md"));
  EXPECT_TRUE(std::filesystem::exists(root_ + "/README.md"));

  // An (empty) knowledge base that happens to carry a legacy name stays.
  std::filesystem::create_directories(root_ + "/_log.md");
  store_->generateGuide();
  EXPECT_TRUE(std::filesystem::is_directory(root_ + "/_log.md"));
}

}  // namespace
}  // namespace corvanta
