#include "integrations/index_file_scan.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST(IndexFileScanTest, LowerCasedTextKeepsOffsetsOnlyWhenNothingButAsciiChanges) {
  bool sameOffsets = false;
  EXPECT_EQ(lowerCasedText("Café — A · B", sameOffsets), "café — a · b");
  EXPECT_TRUE(sameOffsets);
  EXPECT_EQ(lowerCasedText("İSTANBUL", sameOffsets), "i\u0307stanbul");
  EXPECT_FALSE(sameOffsets);
  EXPECT_EQ(lowerCasedText("ΟΔΟΣ", sameOffsets), "οδος");
  EXPECT_FALSE(sameOffsets);
}

}  // namespace
}  // namespace corvanta
