#include <algorithm>
#include <filesystem>

#include "mcp/health_report.h"
#include "mcp/tools_fixture.h"
#include "platform/local_time.h"

namespace corvanta::test {
namespace {

using std::chrono::seconds;

class HealthReportTest : public ToolsTest {
 protected:
  // Every fixed-date test runs as of this instant.
  const TimePoint now_ = *parseISO8601("2026-12-07T12:00:00Z");
  const std::string recent_ = "2026-12-01T12:00:00Z";

  std::string report() { return healthReport(*store_, now_); }
  void relate(const std::string& from, const std::string& to) {
    store_->addRelation(from, to, "related");
  }
};

TEST_F(HealthReportTest, AHealthyVaultIsAllClear) {
  std::string savedNow = formatISO8601(std::chrono::system_clock::now());
  writePage("K", "a.md", "A", "https://a.example/", "a", savedNow);
  writePage("K", "b.md", "B", "https://b.example/", "b", savedNow);
  relate("K/a.md", "K/b.md");

  nlohmann::json result = call("corvanta_lint");
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(
      text(result),
      "# Vault Health Report\n\nAll clear! 2 pages across 1 knowledge bases, no issues found.");
}

TEST_F(HealthReportTest, EverySectionInOrderWithTheIssueCount) {
  writePage("Alpha", "a1.md", "A1", "https://u1.example/", "a1", "2026-12-01T12:00:00Z");
  writePage("Alpha", "a2.md", "A2", "https://u2.example/", "a2", "2026-11-30T12:00:00Z");
  writePage("Alpha", "a3.md", "A3", "", "a3", "2026-01-01T12:00:00Z");
  writePage("Beta", "b1.md", "B1", "https://u1.example/", "b1", recent_);
  std::filesystem::create_directories(root() + "/Empty1");
  writeText(pagePath("Empty2", "_index.md"), "# Empty2");
  relate("Alpha/a1.md", "Alpha/a2.md");
  relate("Alpha/a2.md", "Beta/b1.md");

  EXPECT_EQ(report(),
            "# Vault Health Report\n\n"
            "## Duplicate URLs (1)\n"
            "- https://u1.example/\n  Files: Alpha/a1.md, Beta/b1.md\n\n"
            "## Orphan Pages (1)\n"
            "Pages with no detected connections to other pages:\n"
            "- Alpha/a3.md\n\n"
            "## Stale Pages (1)\n"
            "Pages saved more than 6 months ago:\n"
            "- Alpha/a3.md (saved 2026-01-01)\n\n"
            "## Empty Knowledge Bases (2)\n"
            "- Empty1\n"
            "- Empty2\n\n"
            "## Synthesis Opportunities (1)\n"
            "Clusters of 3+ connected pages that could be synthesized into topic pages:\n"
            "- Cluster 1 (3 pages): Alpha/a1.md, Alpha/a2.md, Beta/b1.md\n\n"
            "---\n4 pages across 4 KBs. 6 issue(s) found above.");
}

TEST_F(HealthReportTest, OrphansAndStalePagesListTwentyAndCountOnce) {
  for (int i = 0; i < 23; ++i) {
    std::string name = "p" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".md";
    writePage("K", name, name, "https://example.com/" + name, "x", "2026-01-01T12:00:00Z");
  }
  std::string text = report();
  EXPECT_NE(text.find("## Orphan Pages (23)\n"), std::string::npos);
  EXPECT_NE(text.find("## Stale Pages (23)\n"), std::string::npos);
  // Both lists stop after twenty lines.
  size_t orphans = text.find("## Orphan Pages");
  size_t stale = text.find("## Stale Pages");
  std::string orphanSection = text.substr(orphans, stale - orphans);
  EXPECT_EQ(std::count(orphanSection.begin(), orphanSection.end(), '\n'), 1 + 1 + 20 + 1 + 1);
  EXPECT_NE(orphanSection.find("\n- ... and 3 more\n\n"), std::string::npos);
  EXPECT_NE(text.find("(saved 2026-01-01)\n- ... and 3 more\n\n---\n"), std::string::npos);
  EXPECT_TRUE(text.ends_with("---\n23 pages across 1 KBs. 2 issue(s) found above.")) << text;
}

TEST_F(HealthReportTest, StaleMeansStrictlyBeforeSixCalendarMonthsAgo) {
  TimePoint cutoff = *addCalendarMonths(now_, -6);
  writePage("K", "at.md", "At", "https://at.example/", "x", formatISO8601(cutoff));
  writePage("K", "before.md", "Before", "https://before.example/", "x",
            formatISO8601(cutoff - seconds(1)));
  relate("K/at.md", "K/before.md");

  EXPECT_EQ(report(),
            "# Vault Health Report\n\n"
            "## Stale Pages (1)\n"
            "Pages saved more than 6 months ago:\n"
            "- K/before.md (saved " +
                formatLocalTime(cutoff - seconds(1), "yyyy-MM-dd") +
                ")\n\n"
                "---\n2 pages across 1 KBs. 1 issue(s) found above.");
}

TEST_F(HealthReportTest, DuplicateGroupsAreSortedByURLAndEachCounts) {
  writePage("A", "z1.md", "Z", "https://z.example/", "x", recent_);
  writePage("B", "z2.md", "Z", "https://z.example/", "x", "2026-11-01T12:00:00Z");
  writePage("C", "z3.md", "Z", "https://z.example/", "x", recent_);
  writePage("C", "m1.md", "M", "https://m.example/", "x", "2026-11-01T12:00:00Z");
  writePage("C", "m2.md", "M", "https://m.example/", "x", "2026-10-01T12:00:00Z");
  relate("A/z1.md", "B/z2.md");
  relate("C/z3.md", "C/m1.md");
  relate("C/m2.md", "C/m1.md");

  std::string text = report();
  EXPECT_NE(text.find("## Duplicate URLs (2)\n"
                      "- https://m.example/\n  Files: C/m1.md, C/m2.md\n"
                      "- https://z.example/\n  Files: A/z1.md, B/z2.md, C/z3.md\n\n"),
            std::string::npos)
      << text;
  // Two groups; the three-page cluster of C is an opportunity as well.
  EXPECT_TRUE(text.ends_with("---\n5 pages across 3 KBs. 3 issue(s) found above.")) << text;
}

TEST_F(HealthReportTest, AChainIsOneClusterUntilItsKnowledgeBaseHasATopic) {
  writePage("K", "a.md", "A", "https://a.example/", "x", recent_);
  writePage("K", "b.md", "B", "https://b.example/", "x", recent_);
  writePage("K", "c.md", "C", "https://c.example/", "x", recent_);
  writePage("K", "d.md", "D", "https://d.example/", "x", recent_);
  relate("K/a.md", "K/b.md");
  relate("K/b.md", "K/c.md");
  relate("K/c.md", "K/d.md");

  EXPECT_EQ(report(),
            "# Vault Health Report\n\n"
            "## Synthesis Opportunities (1)\n"
            "Clusters of 3+ connected pages that could be synthesized into topic "
            "pages:\n"
            "- Cluster 1 (4 pages): K/a.md, K/b.md, K/c.md, K/d.md\n\n"
            "---\n4 pages across 1 KBs. 1 issue(s) found above.");

  call("corvanta_write_topic", {{"kb", "K"}, {"topic", "Letters"}, {"content", "# Letters"}});
  EXPECT_EQ(
      report(),
      "# Vault Health Report\n\nAll clear! 4 pages across 1 knowledge bases, no issues found.");
}

TEST_F(HealthReportTest, OpportunitiesShowFiveClustersOfFiveKeys) {
  // Six separate clusters in knowledge bases without topics (the pages need not
  // exist); the first has seven pages.
  for (int i = 2; i <= 7; ++i) relate("Big/p1.md", "Big/p" + std::to_string(i) + ".md");
  for (int c = 1; c <= 5; ++c) {
    std::string kb = "C" + std::to_string(c);
    relate(kb + "/x.md", kb + "/y.md");
    relate(kb + "/y.md", kb + "/z.md");
  }
  std::string text = report();
  EXPECT_NE(text.find("## Synthesis Opportunities (6)\n"
                      "Clusters of 3+ connected pages that could be synthesized into topic pages:\n"
                      "- Cluster 1 (7 pages): Big/p1.md, Big/p2.md, Big/p3.md, Big/p4.md, "
                      "Big/p5.md\n"
                      "- Cluster 2 (3 pages): C1/x.md, C1/y.md, C1/z.md\n"
                      "- Cluster 3 (3 pages): C2/x.md, C2/y.md, C2/z.md\n"
                      "- Cluster 4 (3 pages): C3/x.md, C3/y.md, C3/z.md\n"
                      "- Cluster 5 (3 pages): C4/x.md, C4/y.md, C4/z.md\n\n"),
            std::string::npos)
      << text;
  EXPECT_TRUE(text.ends_with("---\n0 pages across 0 KBs. 6 issue(s) found above.")) << text;
}

}  // namespace
}  // namespace corvanta::test
