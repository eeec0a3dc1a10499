// MCPToolExecutor: runs one tool of the catalogue by name against the vault store
// and returns its tool result. Used by the MCP core, the stdio server and the
// HTTP API's tool route. Tool failures are results with isError, never exceptions.
#pragma once

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

class Analytics;
class KestFileManager;

class MCPToolExecutor {
 public:
  MCPToolExecutor(std::shared_ptr<KestFileManager> fileManager, Analytics& analytics);
  ~MCPToolExecutor();

  // `arguments` is the decoded arguments object. An unknown name gives the error
  // result "Unknown tool: <name>".
  nlohmann::json execute(const std::string& name, const nlohmann::json& arguments);

 private:
  std::shared_ptr<KestFileManager> fileManager_;
  Analytics& analytics_;
};

}  // namespace corvanta
