#include <filesystem>

#include "mcp/mcp_core.h"
#include "mcp/tools_fixture.h"

namespace corvanta::test {
namespace {

// The relay's connector: a read-only core over a real executor and store.
class ReadOnlyToolsTest : public ToolsTest {
 protected:
  ReadOnlyToolsTest()
      : core_(std::make_unique<MCPToolExecutor>(store_, analytics_), MCPCore::Permission::readOnly,
              analytics_) {}

  nlohmann::json callThroughCore(const std::string& name, const nlohmann::json& arguments) {
    nlohmann::json response =
        core_.handle({{"jsonrpc", "2.0"},
                      {"id", 1},
                      {"method", "tools/call"},
                      {"params", {{"name", name}, {"arguments", arguments}}}});
    EXPECT_FALSE(response.contains("error")) << response.dump();
    return response.at("result");
  }

  MCPCore core_;
};

TEST_F(ReadOnlyToolsTest, ReadingToolsRunAndChangesAreRefusedWithoutTouchingTheVault) {
  writePage("General", "keep.md", "Keep", "https://keep.example/", "keep me");
  writePage("Empty", "x.md", "X", "https://x.example/", "x");
  std::filesystem::remove(pagePath("Empty", "x.md"));

  nlohmann::json read = callThroughCore("corvanta_read_file", {{"filename", "keep.md"}});
  EXPECT_FALSE(isError(read));
  EXPECT_EQ(text(read), readText(pagePath("General", "keep.md")));
  EXPECT_FALSE(isError(callThroughCore("corvanta_lint", {})));
  EXPECT_EQ(text(callThroughCore("corvanta_list_topics", {})).rfind("No topic pages", 0), 0u);

  const nlohmann::json changes[] = {
      {{"name", "corvanta_delete_file"},
       {"arguments", {{"kb", "General"}, {"filename", "keep.md"}}}},
      {{"name", "corvanta_delete_kb"}, {"arguments", {{"name", "Empty"}}}},
      {{"name", "corvanta_write_topic"}, {"arguments", {{"topic", "T"}, {"content", "C"}}}},
  };

  for (const nlohmann::json& change : changes) {
    std::string name = change["name"];
    nlohmann::json result = callThroughCore(name, change["arguments"]);
    EXPECT_TRUE(isError(result)) << name;
    EXPECT_EQ(text(result), "Tool '" + name + "' is not available on this connector (read-only).");
  }
  settle();
  EXPECT_TRUE(std::filesystem::exists(pagePath("General", "keep.md")));
  EXPECT_TRUE(std::filesystem::exists(root() + "/Empty"));
  EXPECT_FALSE(std::filesystem::exists(pagePath("General", "_topic-t.md")));
}

}  // namespace
}  // namespace corvanta::test
