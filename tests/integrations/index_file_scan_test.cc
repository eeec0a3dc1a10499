#include "integrations/index_file_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace corvanta {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> hits(std::string_view text, const std::vector<std::string>& keywords) {
  std::vector<std::string> out;
  for (const IndexFileHit& hit : findIndexFileHits(text, keywords)) {
    out.push_back(keywords[hit.keyword] + " " + std::string(hit.fileName));
  }
  return out;
}

TEST(IndexFileScanTest, CountsEveryNamingLineThatMentionsTheKeyword) {
  const std::string index =
      "# Notes — 3 pages\n"
      "### docs.example (3)\n"
      "- **Kubernetes Operators** — Reconcile loops · [kube.md]\n"
      "  Related: [kube.md](kube.md), [ops.md](ops.md)\n"
      "- **Operators again** · [kube.md]\r\n"
      "- **Operators [draft]** · [draft.md]\n"
      "- **Operators** · [not-a-page.txt]\n"
      "- **Operators] odd [** · [odd.md\n"
      "- 2026-01-01: Operators (docs.example)";
  // A keyword may also match the file name itself.
  EXPECT_THAT(hits(index, {"operators", "kube", "absent"}),
              ElementsAre("operators kube.md", "operators kube.md", "operators draft.md",
                          "kube kube.md", "kube ops.md", "kube kube.md"));
}

TEST(IndexFileScanTest, LowerCasesBeyondAscii) {
  EXPECT_THAT(hits("- **ÉCOLE Straße** · [ecole.md]\n", {"école", "straße"}),
              ElementsAre("école ecole.md", "straße ecole.md"));
  // The Kelvin sign lower-cases to an ASCII "k".
  EXPECT_THAT(hits("- **\u212Aubernetes** · [k.md]\n", {"kubernetes"}),
              ElementsAre("kubernetes k.md"));
  // A capital sigma changes the text's length; lines must still line up.
  EXPECT_THAT(
      hits("- **ΟΔΥΣΣΕΑΣ** · [odysseas.md]\n- **Plain** · [plain.md]\n", {"οδυσσεας", "plain"}),
      ElementsAre("οδυσσεας odysseas.md", "plain plain.md"));
  EXPECT_THAT(hits("no entries here at all\n", {"entries"}), IsEmpty());
}

TEST(IndexFileScanTest, FindsKeywordsAtTheEdgesOfTextAndLines) {
  // Matches at the very start and end, lines ended by the other line breaks,
  // keywords sharing first and last letters, and one keyword as part of another.
  const std::string index =
      "react [a.md]\u2028[b.md] reactor\u0085[c.md] redirect\v[d.md] rest react";
  EXPECT_THAT(hits(index, {"react", "rest", "redirect", "reactor"}),
              ElementsAre("react a.md", "react b.md", "react d.md", "rest d.md", "redirect c.md",
                          "reactor b.md"));
  EXPECT_THAT(hits("[a.md] Straße \xff", {"straße"}), IsEmpty());  // not UTF-8
}

// Characters beyond ASCII are found through a bit per byte, 64 bytes to a word:
// one that straddles two words, or sits in the tail after the last whole word,
// must be validated like any other.
TEST(IndexFileScanTest, ValidatesCharactersAtEveryOffset) {
  const std::vector<std::string> characters = {"é", "—", "\U0001F600"};
  const std::vector<std::string> invalid = {"\xc3", "\x80", "\xe2\x80", "\xf0\x9f\x98",
                                            "\xc0\xaf", "\xed\xa0\x80"};
  for (size_t offset = 0; offset < 140; ++offset) {
    const std::string before(offset, 'a');
    for (const std::string& character : characters) {
      const std::string line = before + character + " Operators · [p.md]\nrest of it";
      EXPECT_THAT(hits(line, {"operators"}), ElementsAre("operators p.md"))
          << offset << " " << character;
    }
    for (const std::string& bytes : invalid) {
      const std::string line = before + bytes + " Operators · [p.md]\nrest of it";
      EXPECT_THAT(hits(line, {"operators"}), IsEmpty()) << offset;
    }
  }
}

// Files are read in pieces of whole lines; what a piece boundary cuts must
// still be found, and the names must survive the buffers being reused.
TEST(IndexFileScanTest, FileScanEqualsTextScanAcrossPieces) {
  test::TempDir dir;
  std::string index = "# Big — many pages\n";
  for (int i = 0; i < 6000; ++i) {
    index += "- **Entry " + std::to_string(i) + (i % 7 == 0 ? " Kubernetes" : "") +
             (i % 500 == 3 ? " ΟΔΥΣΣΕΑΣ" : "") + "** — about operators · [page-" +
             std::to_string(i) + ".md]\n";
  }
  index += "- **" + std::string(200000, 'x') + " kubernetes** · [long.md]\n";
  index += "- **Last kubernetes line** · [last.md]";  // no final line break
  test::writeText(dir / "_index.md", index);

  const std::vector<std::string> keywords = {"kubernetes", "operators", "οδυσσεας"};
  IndexFileScanner scanner(keywords);
  std::vector<std::string> fromFile;
  for (int pass = 0; pass < 2; ++pass) {  // a second file reuses the buffers
    const std::optional<ScannedIndexFile> scanned = scanner.scanFile(dir / "_index.md");
    ASSERT_TRUE(scanned.has_value());
    fromFile.clear();
    for (const ScannedIndexFile::Hit& hit : scanned->hits) {
      fromFile.push_back(keywords[hit.keyword] + " " +
                         scanned->names.substr(hit.nameOffset, hit.nameSize));
    }
  }
  const std::vector<std::string> fromText = hits(index, keywords);
  EXPECT_EQ(fromText.size(), 860u + 6000u + 12u);
  EXPECT_EQ(fromFile, fromText);
}

TEST(IndexFileScanTest, FilesTheStoreCannotReadGiveNothing) {
  test::TempDir dir;
  IndexFileScanner scanner({"kubernetes"});
  EXPECT_FALSE(scanner.scanFile(dir / "missing.md").has_value());
  EXPECT_FALSE(scanner.scanFile(dir.path()).has_value());  // a folder
  // Invalid UTF-8 far past the first piece discards the hits already found.
  test::writeText(dir / "_index.md",
                  "- kubernetes [a.md]\n" + std::string(300000, 'a') + "\n\xc3\x28\n");
  EXPECT_FALSE(scanner.scanFile(dir / "_index.md").has_value());
  test::writeText(dir / "_index.md", "- kubernetes [a.md]\n");
  ASSERT_TRUE(scanner.scanFile(dir / "_index.md").has_value());
  EXPECT_EQ(scanner.scanFile(dir / "_index.md")->names, "a.md");
}

}  // namespace
}  // namespace corvanta
