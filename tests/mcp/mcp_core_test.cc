#include "mcp/mcp_core.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "mcp/mcp_tool_executor.h"
#include "mcp/tool_catalogue.h"
#include "mcp/tool_result.h"
#include "platform/app_version.h"
#include "platform/background_queue.h"
#include "platform/paths.h"
#include "recording_analytics.h"
#include "support/temp_dir.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

using nlohmann::json;

size_t codePointCount(const std::string& text) {
  size_t count = 0;
  for (unsigned char byte : text) count += (byte & 0xC0) != 0x80;
  return count;
}

size_t occurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

class MCPCoreTest : public ::testing::Test {
 protected:
  MCPCore makeCore(MCPCore::Permission permission) {
    return MCPCore(std::make_unique<MCPToolExecutor>(store_, analytics_), permission, analytics_);
  }

  // A handler that records what it was given and answers a fixed result.
  MCPCore::ToolHandler recordingHandler(json& seen) {
    return [&seen](const json& params) {
      seen = params;
      return makeToolResult("handled");
    };
  }

  test::TempDir dir_;
  std::shared_ptr<KestFileManager> store_ = std::make_shared<KestFileManager>(
      dir_ / "vault", Paths(dir_.path(), dir_ / "config", dir_ / "data"),
      BackgroundQueue::shared());
  test::RecordingAnalytics analytics_;
  MCPCore core_ = makeCore(MCPCore::Permission::full);
};

TEST(MCPInstructionsTest, TextHasItsExactShape) {
  const std::string& text = MCPCore::instructions();
  EXPECT_EQ(codePointCount(text), 1555u);
  EXPECT_EQ(occurrences(text, "\u2014"), 3u);
  EXPECT_EQ(occurrences(text, "\n\n"), 5u);  // six paragraphs
  EXPECT_EQ(occurrences(text, "\n"), 10u);   // and no other line break
  EXPECT_EQ(text.rfind("You are connected to Corvanta \u2014 ", 0), 0u);
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.find("`corvanta_get_overview`"), std::string::npos);
}

TEST_F(MCPCoreTest, InitializeIgnoresParamsAndDescribesTheServer) {
  for (const json& request :
       {json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}},
        json{{"jsonrpc", "2.0"},
             {"id", 1},
             {"method", "initialize"},
             {"params", {{"protocolVersion", "2099-01-01"}, {"clientInfo", {{"name", "x"}}}}}},
        json{{"id", 1}, {"method", "initialize"}, {"params", "not an object"}}}) {
    const json response = core_.handle(request);
    EXPECT_EQ(response["jsonrpc"], "2.0");
    EXPECT_EQ(response["id"], 1);
    const json& result = response["result"];
    EXPECT_EQ(result["protocolVersion"], "2024-11-05");
    EXPECT_EQ(result["capabilities"], json::parse(R"({"tools":{"listChanged":false}})"));
    EXPECT_EQ(result["serverInfo"], (json{{"name", "Corvanta MCP"}, {"version", appVersion()}}));
    EXPECT_EQ(result["instructions"], MCPCore::instructions());
    EXPECT_EQ(result.size(), 4u);
  }
}

TEST_F(MCPCoreTest, IdIsCopiedExactlyAndAbsentDiffersFromNull) {
  for (const json& id :
       {json("abc"), json(0), json(-7), json(18446744073709551615ull), json(2.5), json(nullptr)}) {
    const json response = core_.handle({{"id", id}, {"method", "tools/list"}});
    ASSERT_TRUE(response.contains("id"));
    EXPECT_EQ(response["id"], id);
    EXPECT_EQ(response["id"].type(), id.type());
  }
  // Requests without an id are still answered when the method is known, and the
  // reply then carries no id at all (not a null one).
  const json response = core_.handle({{"jsonrpc", "2.0"}, {"method", "tools/list"}});
  EXPECT_FALSE(response.contains("id"));
  EXPECT_EQ(response["result"]["tools"].size(), 16u);
}

TEST_F(MCPCoreTest, UnknownMethodsAreErrorsAndNotificationsGetNothing) {
  EXPECT_EQ(core_.handle({{"method", "notifications/initialized"}}), json::object());
  EXPECT_EQ(core_.handle({{"method", "ping"}}), json::object());
  EXPECT_EQ(core_.handle(json::object()), json::object());

  EXPECT_EQ(core_.handle({{"id", 3}, {"method", "notifications/initialized"}}),
            json::parse(R"({"jsonrpc":"2.0","id":3,"error":{"code":-32601,
                "message":"Method not found: notifications/initialized"}})"));
  EXPECT_EQ(core_.handle({{"id", "p"}, {"method", "ping"}})["error"]["message"],
            "Method not found: ping");
  // A method that is not text is the empty method.
  for (const json& method : {json(42), json(nullptr), json::array({"initialize"})}) {
    const json response = core_.handle({{"id", 9}, {"method", method}});
    EXPECT_EQ(response["error"]["message"], "Method not found: ");
    EXPECT_EQ(response["error"]["code"], -32601);
    EXPECT_FALSE(response.contains("result"));
  }
  EXPECT_EQ(core_.handle({{"id", 9}})["error"]["message"], "Method not found: ");
  EXPECT_TRUE(analytics_.events().empty());
}

TEST_F(MCPCoreTest, ToolsListFollowsThePermission) {
  EXPECT_EQ(core_.handle({{"id", 1}, {"method", "tools/list"}})["result"],
            (json{{"tools", toolCatalogue()}}));
  MCPCore readOnly = makeCore(MCPCore::Permission::readOnly);
  const json tools = readOnly.handle({{"id", 1}, {"method", "tools/list"}})["result"]["tools"];
  EXPECT_EQ(tools, readOnlyToolCatalogue());
  EXPECT_EQ(tools.size(), 8u);
}

TEST_F(MCPCoreTest, ToolCallGoesToTheHandlerWithTheWholeParamsAndIsCounted) {
  json seen;
  const json params = {{"name", "corvanta_search"}, {"arguments", {{"query", "q"}}}, {"x", 1}};
  const json response =
      core_.handle({{"jsonrpc", "2.0"}, {"id", 5}, {"method", "tools/call"}, {"params", params}},
                   recordingHandler(seen));
  EXPECT_EQ(seen, params);
  EXPECT_EQ(response, (json{{"jsonrpc", "2.0"}, {"id", 5}, {"result", makeToolResult("handled")}}));
  EXPECT_FALSE(response["result"].contains("isError"));
  ASSERT_EQ(analytics_.events().size(), 1u);
  EXPECT_EQ(analytics_.events()[0].first, "vault_mcp_tool_called");
  EXPECT_EQ(analytics_.events()[0].second,
            (json{{"tool", "corvanta_search"}, {"permission", "full"}}));
}

TEST_F(MCPCoreTest, MalformedToolCallParamsBecomeEmptyValues) {
  json seen;
  core_.handle({{"id", 1}, {"method", "tools/call"}, {"params", "text"}}, recordingHandler(seen));
  EXPECT_EQ(seen, json::object());
  EXPECT_EQ(analytics_.events().back().second["tool"], "");

  // Without a handler the executor answers; an unusable name is the empty name.
  const json response =
      core_.handle({{"id", 2}, {"method", "tools/call"}, {"params", {{"name", 7}}}});
  EXPECT_EQ(response["result"], makeToolResult("Unknown tool: ", true));
  EXPECT_FALSE(response.contains("error"));
}

TEST_F(MCPCoreTest, FailingToolsAreToolResultsNeverProtocolErrors) {
  const json failed =
      core_.handle({{"id", 1}, {"method", "tools/call"}, {"params", {{"name", "no_such_tool"}}}});
  EXPECT_EQ(failed["result"]["isError"], true);
  EXPECT_FALSE(failed.contains("error"));

  // A tool that throws must not bring down the caller's loop.
  const json thrown =
      core_.handle({{"id", 2}, {"method", "tools/call"}, {"params", {{"name", "corvanta_search"}}}},
                   [](const json&) -> json { throw std::runtime_error("disk on fire"); });
  EXPECT_EQ(thrown["id"], 2);
  EXPECT_EQ(thrown["result"], makeToolResult("Error: disk on fire", true));
}

TEST_F(MCPCoreTest, ReadOnlyCoreRefusesWritingToolsBeforeAnythingHappens) {
  MCPCore readOnly = makeCore(MCPCore::Permission::readOnly);
  json seen = "untouched";
  const json refused = readOnly.handle(
      {{"id", 4}, {"method", "tools/call"}, {"params", {{"name", "corvanta_delete_file"}}}},
      recordingHandler(seen));
  EXPECT_EQ(refused, (json{{"jsonrpc", "2.0"},
                           {"id", 4},
                           {"result", makeToolResult("Tool 'corvanta_delete_file' is not available "
                                                     "on this connector (read-only).",
                                                     true)}}));
  EXPECT_EQ(seen, "untouched");
  EXPECT_TRUE(analytics_.events().empty());

  readOnly.handle({{"id", 5}, {"method", "tools/call"}, {"params", {{"name", "corvanta_lint"}}}},
                  recordingHandler(seen));
  EXPECT_EQ(seen["name"], "corvanta_lint");
  ASSERT_EQ(analytics_.events().size(), 1u);
  EXPECT_EQ(analytics_.events()[0].second,
            (json{{"tool", "corvanta_lint"}, {"permission", "read_only"}}));
}

}  // namespace
}  // namespace corvanta
