// MCPToolExecutor: runs one tool of the catalogue by name against the vault store
// and returns its tool result. Used by the MCP core, the stdio server and the
// HTTP API's tool route. Tool failures are results with isError, never exceptions.
//
// The executor keeps no state between calls: every call reads the vault afresh
// through the store. Calls run synchronously on the caller's thread; the index
// and guide regenerations a change schedules run in the background and are not
// awaited. Several executors may share one store, and one executor may be called
// from several threads at once.
//
// Which tools a connector may call is not decided here: the read-only gate is the
// MCP core's.
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
  MCPToolExecutor(const MCPToolExecutor&) = delete;
  MCPToolExecutor& operator=(const MCPToolExecutor&) = delete;

  // `name` is compared exactly (case-sensitive). `arguments` is the decoded
  // arguments object; a value of another type reads as an object without keys.
  // An unknown name gives the error result "Unknown tool: <name>".
  nlohmann::json execute(const std::string& name, const nlohmann::json& arguments);

 private:
  std::shared_ptr<KestFileManager> fileManager_;
  Analytics& analytics_;
};

}  // namespace corvanta
