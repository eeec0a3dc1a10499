#include "mcp/mcp_tool_executor.h"

#include <array>
#include <exception>
#include <string_view>

#include "app/analytics.h"
#include "mcp/browse_tools.h"
#include "mcp/health_report.h"
#include "mcp/organise_tools.h"
#include "mcp/synthesis.h"
#include "mcp/tool_arguments.h"
#include "mcp/tool_result.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

using ToolFunction = nlohmann::json (*)(KestFileManager&, const ToolArguments&);

struct Tool {
  std::string_view name;
  ToolFunction run;
};

// corvanta_save_url is missing on purpose: it needs the browser capture service,
// and until that exists the name is answered like any other unknown tool.
constexpr std::array kTools = {
    Tool{"corvanta_list_knowledge_bases", listKnowledgeBasesTool},
    Tool{"corvanta_list_files", listFilesTool},
    Tool{"corvanta_read_file", readFileTool},
    Tool{"corvanta_get_overview", getOverviewTool},
    Tool{"corvanta_search", searchTool},
    Tool{"corvanta_synthesize", synthesizeTool},
    Tool{"corvanta_write_topic", writeTopicTool},
    Tool{"corvanta_add_relation", addRelationTool},
    Tool{"corvanta_list_topics", listTopicsTool},
    Tool{"corvanta_get_relations", getRelationsTool},
    Tool{"corvanta_move_file", moveFileTool},
    Tool{"corvanta_edit_file", editFileTool},
    Tool{"corvanta_delete_file", deleteFileTool},
    Tool{"corvanta_delete_kb", deleteKnowledgeBaseTool},
    Tool{"corvanta_lint", lintTool},
};

const Tool* findTool(std::string_view name) {
  for (const Tool& tool : kTools) {
    if (tool.name == name) return &tool;
  }
  return nullptr;
}

}  // namespace

MCPToolExecutor::MCPToolExecutor(std::shared_ptr<KestFileManager> fileManager, Analytics& analytics)
    : fileManager_(std::move(fileManager)), analytics_(analytics) {}

MCPToolExecutor::~MCPToolExecutor() = default;

nlohmann::json MCPToolExecutor::execute(const std::string& name, const nlohmann::json& arguments) {
  const Tool* tool = findTool(name);
  if (!tool) return makeToolResult("Unknown tool: " + name, true);
  // The tools turn every expected failure into their own texts. Anything that
  // still escapes (memory exhaustion, a file-system error from a listing) must
  // not take the server or an HTTP worker down with it: it becomes an error
  // result like any other failed call.
  try {
    return tool->run(*fileManager_, ToolArguments(arguments));
  } catch (const std::exception& error) {
    return makeToolResult(std::string("Error: ") + error.what(), true);
  }
}

}  // namespace corvanta
