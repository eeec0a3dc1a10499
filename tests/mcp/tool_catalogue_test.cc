#include "mcp/tool_catalogue.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <thread>
#include <vector>

namespace corvanta {
namespace {

using nlohmann::json;

std::vector<std::string> namesOf(const json& tools) {
  std::vector<std::string> names;
  for (const json& tool : tools) names.push_back(tool.at("name"));
  return names;
}

std::set<std::string> keysOf(const json& object) {
  std::set<std::string> keys;
  for (auto it = object.begin(); it != object.end(); ++it) keys.insert(it.key());
  return keys;
}

const std::vector<std::string> kReadOnlyNames = {
    "corvanta_list_knowledge_bases", "corvanta_list_files", "corvanta_read_file",
    "corvanta_get_overview",         "corvanta_search",     "corvanta_list_topics",
    "corvanta_get_relations",        "corvanta_lint"};

TEST(ToolCatalogueTest, SixteenToolsInHostOrder) {
  EXPECT_EQ(
      namesOf(toolCatalogue()),
      (std::vector<std::string>{
          "corvanta_list_knowledge_bases", "corvanta_list_files", "corvanta_read_file",
          "corvanta_get_overview", "corvanta_search", "corvanta_synthesize", "corvanta_write_topic",
          "corvanta_add_relation", "corvanta_list_topics", "corvanta_get_relations",
          "corvanta_move_file", "corvanta_edit_file", "corvanta_delete_file", "corvanta_delete_kb",
          "corvanta_save_url", "corvanta_lint"}));
}

// Hosts validate these objects against the protocol's schema: exact keys, a
// "required" list on every tool, and only names that are declared properties.
TEST(ToolCatalogueTest, EveryToolHasAWellFormedSchema) {
  for (const json& tool : toolCatalogue()) {
    SCOPED_TRACE(tool.dump());
    EXPECT_EQ(keysOf(tool), (std::set<std::string>{"name", "description", "inputSchema"}));
    EXPECT_TRUE(tool["description"].is_string());
    EXPECT_FALSE(tool["description"].get<std::string>().empty());
    const json& schema = tool["inputSchema"];
    EXPECT_EQ(keysOf(schema), (std::set<std::string>{"type", "properties", "required"}));
    EXPECT_EQ(schema["type"], "object");
    ASSERT_TRUE(schema["properties"].is_object());
    ASSERT_TRUE(schema["required"].is_array());
    for (const json& name : schema["required"]) {
      EXPECT_TRUE(schema["properties"].contains(name.get<std::string>())) << name;
    }
    for (auto it = schema["properties"].begin(); it != schema["properties"].end(); ++it) {
      const json& property = it.value();
      EXPECT_TRUE(property["description"].is_string());
      if (it.key() == "filenames") {
        EXPECT_EQ(keysOf(property), (std::set<std::string>{"type", "items", "description"}));
        EXPECT_EQ(property["type"], "array");
        EXPECT_EQ(property["items"], (json{{"type", "string"}}));
      } else {
        EXPECT_EQ(keysOf(property), (std::set<std::string>{"type", "description"}));
        EXPECT_EQ(property["type"], "string");
      }
    }
  }
}

TEST(ToolCatalogueTest, ToolsWithoutArgumentsStillCarryEmptyLists) {
  for (const json& tool : toolCatalogue()) {
    const std::string name = tool["name"];
    const json& schema = tool["inputSchema"];
    if (name == "corvanta_list_knowledge_bases" || name == "corvanta_lint") {
      EXPECT_EQ(schema["properties"].dump(), "{}") << name;
    }
    if (name == "corvanta_list_knowledge_bases" || name == "corvanta_lint" ||
        name == "corvanta_get_overview") {
      EXPECT_EQ(schema["required"].dump(), "[]") << name;
    }
  }
  const json& synthesize = toolCatalogue()[5];
  EXPECT_EQ(synthesize["inputSchema"]["required"], (json{"kb", "filenames", "topic"}));
}

// Descriptions steer the assistant from one tool to another; a renamed tool must
// not leave a description pointing at a name that no longer exists.
TEST(ToolCatalogueTest, DescriptionsOnlyMentionToolsThatExist) {
  const std::vector<std::string> names = namesOf(toolCatalogue());
  const std::set<std::string> known(names.begin(), names.end());
  const std::regex mention("corvanta_[a-z_]+");
  size_t mentions = 0;
  for (const json& tool : toolCatalogue()) {
    const std::string description = tool["description"];
    for (auto it = std::sregex_iterator(description.begin(), description.end(), mention);
         it != std::sregex_iterator(); ++it, ++mentions) {
      EXPECT_TRUE(known.count(it->str())) << it->str();
    }
  }
  EXPECT_GT(mentions, 0u);
}

TEST(ToolCatalogueTest, ReadOnlySetAndFilteredCatalogueAgree) {
  EXPECT_EQ(namesOf(readOnlyToolCatalogue()), kReadOnlyNames);
  size_t readOnly = 0;
  for (const json& tool : toolCatalogue())
    readOnly += isReadOnlyTool(tool["name"].get<std::string>());
  EXPECT_EQ(readOnly, 8u);
  for (const std::string& name : kReadOnlyNames) EXPECT_TRUE(isReadOnlyTool(name)) << name;
  EXPECT_FALSE(isReadOnlyTool("corvanta_save_url"));
  EXPECT_FALSE(isReadOnlyTool(""));
  EXPECT_FALSE(isReadOnlyTool("corvanta_lint "));
  // Filtering must copy the tools, not rebuild them differently.
  EXPECT_EQ(readOnlyToolCatalogue()[7], toolCatalogue()[15]);
}

TEST(ToolCatalogueTest, BuiltOnceAndSharedAcrossThreads) {
  std::vector<const json*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &toolCatalogue(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const json* catalogue : seen) EXPECT_EQ(catalogue, &toolCatalogue());
  EXPECT_EQ(&readOnlyToolCatalogue(), &readOnlyToolCatalogue());
}

}  // namespace
}  // namespace corvanta
