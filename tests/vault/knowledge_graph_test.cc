#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "derived_files_fixture.h"

namespace corvanta {
namespace {

class KnowledgeGraphTest : public test::DerivedFilesTest {
 protected:
  std::string graphFile() const { return dir_ / "data/KestVault/_graph.json"; }
  std::string legacyFile() const { return root_ + "/_graph.json"; }
};

TEST_F(KnowledgeGraphTest, FileIsSortedPrettyJsonWithEscapedSlashes) {
  store_->addRelation("General/a.md", "Research/b \"c\".md", "both about caf\u00e9s");
  KnowledgeGraph graph = store_->loadGraph();
  ASSERT_EQ(graph.edges.size(), 1u);
  ASSERT_EQ(graph.updated.size(), 20u);  // yyyy-MM-ddTHH:mm:ssZ
  EXPECT_EQ(graph.updated.back(), 'Z');
  EXPECT_EQ(test::readText(graphFile()),
            "{\n"
            "  \"edges\" : [\n"
            "    {\n"
            "      \"from\" : \"General\\/a.md\",\n"
            "      \"reason\" : \"both about caf\u00e9s\",\n"
            "      \"to\" : \"Research\\/b \\\"c\\\".md\"\n"
            "    }\n"
            "  ],\n"
            "  \"updated\" : \"" +
                graph.updated +
                "\"\n"
                "}");
}

TEST_F(KnowledgeGraphTest, AnEdgeIsStoredOnceWhicheverWayItIsAdded) {
  store_->addRelation("K/a.md", "K/b.md", "first reason");
  store_->addRelation("K/b.md", "K/a.md", "reverse");
  store_->addRelation("K/a.md", "K/b.md", "second reason");
  store_->addRelation("K/a.md", "K/c.md", "another page");

  KnowledgeGraph graph = store_->loadGraph();
  ASSERT_EQ(graph.edges.size(), 2u);
  EXPECT_EQ(graph.edges[0].from, "K/a.md");
  EXPECT_EQ(graph.edges[0].to, "K/b.md");
  EXPECT_EQ(graph.edges[0].reason, "first reason");
  EXPECT_EQ(graph.edges[1].to, "K/c.md");
}

TEST_F(KnowledgeGraphTest, RelatedPagesFromEitherEndSkipMalformedKeys) {
  store_->addRelation("K/a.md", "L/b.md", "ab");
  store_->addRelation("K/c.md", "K/a.md", "ca");
  store_->addRelation("K/a.md", "nokb", "no slash");
  store_->addRelation("K/a.md", "L/", "no file");
  store_->addRelation("K/a.md", "/x.md", "no kb");
  store_->addRelation("K/a.md", "L/sub/d.md", "deeper");

  std::vector<RelatedPage> related = store_->relatedPages("K", "a.md");
  ASSERT_EQ(related.size(), 3u);
  EXPECT_EQ(related[0].kb, "L");
  EXPECT_EQ(related[0].filename, "b.md");
  EXPECT_EQ(related[0].reason, "ab");
  EXPECT_EQ(related[1].kb, "K");
  EXPECT_EQ(related[1].filename, "c.md");
  EXPECT_EQ(related[1].reason, "ca");
  EXPECT_EQ(related[2].filename, "sub/d.md");

  std::vector<RelatedPage> back = store_->relatedPages("L", "b.md");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].kb, "K");
  EXPECT_EQ(back[0].filename, "a.md");
  EXPECT_EQ(back[0].reason, "ab");
  EXPECT_TRUE(store_->relatedPages("K", "unrelated.md").empty());
}

TEST_F(KnowledgeGraphTest, LegacyGraphIsMovedOutOfTheVault) {
  test::writeText(legacyFile(),
                  R"({"edges":[{"from":"K/a.md","to":"K/b.md","reason":"old"}],"updated":"x"})");
  KnowledgeGraph graph = store_->loadGraph();
  ASSERT_EQ(graph.edges.size(), 1u);
  EXPECT_EQ(graph.edges[0].reason, "old");
  EXPECT_FALSE(std::filesystem::exists(legacyFile()));
  EXPECT_TRUE(std::filesystem::exists(graphFile()));
}

TEST_F(KnowledgeGraphTest, LegacyGraphIsDroppedWhenTheCurrentOneExists) {
  const std::string current = R"({"edges":[],"updated":"current"})";
  test::writeText(graphFile(), current);
  test::writeText(legacyFile(), R"({"edges":[],"updated":"legacy"})");
  EXPECT_EQ(store_->loadGraph().updated, "current");
  EXPECT_FALSE(std::filesystem::exists(legacyFile()));
  EXPECT_EQ(test::readText(graphFile()), current);
}

TEST_F(KnowledgeGraphTest, AFolderNamedLikeTheLegacyFileIsAKnowledgeBase) {
  std::filesystem::create_directories(legacyFile());
  store_->loadGraph();
  EXPECT_TRUE(std::filesystem::is_directory(legacyFile()));
}

TEST_F(KnowledgeGraphTest, MalformedGraphReadsEmptyAndIsReplacedByTheNextAddition) {
  for (const char* malformed :
       {R"({"edges":[{"from":"K/a.md","to":"K/b.md"}],"updated":""})",  // no reason
        R"({"edges":[],"updated":5})", R"({"edges":{}})", "[]", "{not json", ""}) {
    test::writeText(graphFile(), malformed);
    EXPECT_TRUE(store_->loadGraph().edges.empty()) << malformed;
    EXPECT_TRUE(store_->relatedPages("K", "a.md").empty()) << malformed;
  }
  store_->addRelation("K/a.md", "K/c.md", "new");
  KnowledgeGraph graph = store_->loadGraph();
  ASSERT_EQ(graph.edges.size(), 1u);
  EXPECT_EQ(graph.edges[0].to, "K/c.md");
}

TEST_F(KnowledgeGraphTest, ReadersAcceptAnyValidJsonOfTheShape) {
  test::writeText(
      graphFile(),
      R"({"updated":"t","extra":1,"edges":[{"reason":"r","to":"K\/b.md","from":"K/a.md"}]})");
  ASSERT_EQ(store_->relatedPages("K", "a.md").size(), 1u);
  EXPECT_EQ(store_->relatedPages("K", "b.md")[0].filename, "a.md");
}

TEST_F(KnowledgeGraphTest, ConcurrentAdditionsFromProcessesKeepEveryEdge) {
  // Forking is only safe while no other thread of ours holds a lock.
  ASSERT_TRUE(queue_.waitUntilIdle(std::chrono::seconds(30)));
  ASSERT_TRUE(BackgroundQueue::shared().waitUntilIdle(std::chrono::seconds(30)));
  constexpr int kWriters = 3;
  constexpr int kEdgesEach = 40;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      BackgroundQueue childQueue(1);
      auto child = std::make_shared<KestFileManager>(root_, paths_, childQueue);
      for (int i = 0; i < kEdgesEach; ++i) {
        child->addRelation("W" + std::to_string(w) + "/a.md", "X/" + std::to_string(i) + ".md",
                           "r");
      }
      child->waitForRefreshes(std::chrono::seconds(30));
      ::_exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(store_->loadGraph().edges.size(), static_cast<size_t>(kWriters * kEdgesEach));
}

TEST_F(KnowledgeGraphTest, AdditionRefreshesTheIndexOfBothKnowledgeBases) {
  addPage("A", "a.md", {"Page A", "x.com", "", ""});
  addPage("B", "b.md", {"Page B", "y.com", "", ""});
  store_->addRelation("A/a.md", "B/b.md", "linked");
  ASSERT_TRUE(store_->waitForRefreshes(std::chrono::seconds(30)));
  EXPECT_NE(indexOf("A").find("  Related: [b.md](b.md)\n"), std::string::npos);
  EXPECT_NE(indexOf("B").find("  Related: [a.md](a.md)\n"), std::string::npos);
}

}  // namespace
}  // namespace corvanta
