#include "mcp/mcp_tool_executor.h"

#include "app/analytics.h"
#include "mcp/tool_result.h"
#include "vault/kest_file_manager.h"

namespace corvanta {

// Placeholder until the tools land: every name is unknown.
MCPToolExecutor::MCPToolExecutor(std::shared_ptr<KestFileManager> fileManager,
                                 Analytics& analytics)
    : fileManager_(std::move(fileManager)), analytics_(analytics) {}
MCPToolExecutor::~MCPToolExecutor() = default;

nlohmann::json MCPToolExecutor::execute(const std::string& name, const nlohmann::json&) {
  return makeToolResult("Unknown tool: " + name, true);
}

}  // namespace corvanta
