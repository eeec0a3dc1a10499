#include "mcp/tools_fixture.h"
#include "platform/unicode_text.h"

namespace corvanta::test {
namespace {

class SynthesisToolTest : public ToolsTest {
 protected:
  nlohmann::json synthesize(const nlohmann::json& filenames, const std::string& topic,
                            const std::string& kb = "General") {
    return call("corvanta_synthesize", {{"kb", kb}, {"filenames", filenames}, {"topic", topic}});
  }
  static std::string header(const std::string& topic, size_t count, const std::string& kb) {
    return "# Synthesis request: " + topic + "\n\nRead " + std::to_string(count) +
           " files below, then write a synthesis that:\n"
           "- Identifies key insights across all sources\n"
           "- Notes agreements and contradictions\n"
           "- Cites sources by title and filename\n"
           "- Identifies gaps worth further research\n"
           "\nAfter writing your synthesis, call `corvanta_write_topic` with kb=\"" +
           kb + "\", topic=\"" + topic + "\", and your synthesis as content.\n";
  }
};

TEST_F(SynthesisToolTest, ArgumentChecksComeInOrder) {
  const char* needTwo = "Error: Need at least 2 filenames to synthesize";
  nlohmann::json oneName = call("corvanta_synthesize", {{"filenames", {"a.md"}}});
  EXPECT_TRUE(isError(oneName));
  EXPECT_EQ(text(oneName), needTwo);
  // An array holding anything but strings counts as no array.
  EXPECT_EQ(text(synthesize({"a.md", 2, "b.md"}, "T")), needTwo);
  EXPECT_EQ(text(synthesize("a.md,b.md", "T")), needTwo);

  nlohmann::json noTopic = call("corvanta_synthesize", {{"filenames", {"a.md", "b.md"}}});
  EXPECT_TRUE(isError(noTopic));
  EXPECT_EQ(text(noTopic), "Error: A topic name is required");
}

TEST_F(SynthesisToolTest, BuildsTheRequestFromTitleURLAndBody) {
  writePage("Research", "a.md", "Alpha", "https://a.example/", "Alpha body.");
  writeText(pagePath("Research", "b.md"),
            "# Beta title\n🔗 Source: [b](https://b.example/post)\n\nBeta body.");

  nlohmann::json result = synthesize({"a.md", "b.md", "../c.md"}, "Greek letters", "Research");
  EXPECT_FALSE(isError(result));
  EXPECT_EQ(text(result), header("Greek letters", 3, "Research") +
                              "\n---\n## Source: Alpha\nFilename: a.md\nURL: https://a.example/\n"
                              "\nAlpha body."
                              "\n---\n## Source: Beta title\nFilename: b.md\n"
                              "URL: https://b.example/post\n"
                              "\n# Beta title\n🔗 Source: [b](https://b.example/post)\n\nBeta body."
                              "\n---\n**../c.md**: (not found)\n");
}

TEST_F(SynthesisToolTest, ReadsOnlyTheFirstEightButAnnouncesAll) {
  nlohmann::json names = nlohmann::json::array();
  for (int i = 1; i <= 10; ++i) {
    std::string name = "p" + std::to_string(i) + ".md";
    writePage("General", name, "Page " + std::to_string(i), "https://x.example/", "x");
    names.push_back(name);
  }
  std::string request = text(synthesize(names, "Ten"));
  EXPECT_NE(request.find("Read 10 files below"), std::string::npos);
  EXPECT_NE(request.find("Filename: p8.md\n"), std::string::npos);
  EXPECT_EQ(request.find("Filename: p9.md"), std::string::npos);
  EXPECT_EQ(request.find("p10.md"), std::string::npos);
}

TEST_F(SynthesisToolTest, BodiesAreCutAtSixThousandCharacters) {
  std::string accented;  // "e" with a combining acute accent: one character, three bytes
  for (int i = 0; i < 6500; ++i) accented += "e\u0301";
  writeText(pagePath("General", "long.md"), accented);
  writePage("General", "short.md", "Short", "https://s.example/", "short");

  std::string request = text(synthesize({"short.md", "long.md"}, "Cap"));
  std::string body = request.substr(request.rfind('\n') + 1);
  EXPECT_EQ(graphemeCount(body), 6000u);
  EXPECT_EQ(body, accented.substr(0, 6000 * 3));
}

TEST_F(SynthesisToolTest, NeedsTwoReadablePages) {
  writePage("General", "a.md", "A", "https://a.example/", "a");
  writeText(pagePath("General", "bad.md"), std::string("\xc3\x28 invalid UTF-8"));
  nlohmann::json result = synthesize({"a.md", "missing.md", "bad.md"}, "T");
  EXPECT_TRUE(isError(result));
  EXPECT_EQ(text(result), "Error: Could not read enough files (need at least 2)");
}

}  // namespace
}  // namespace corvanta::test
