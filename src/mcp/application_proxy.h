// The running application's local HTTP API as a stdio MCP server sees it: the
// probes of the start-up check and the forwarding of tool calls.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

class ApplicationProxy {
 public:
  virtual ~ApplicationProxy() = default;

  // GET /ping answered with status 200 and a JSON object whose "ok" is true.
  virtual bool isReachable() = 0;
  // GET /kbs answered with status 200 and a non-empty JSON array of objects.
  virtual bool reportsKnowledgeBases() = 0;
  // POST /mcp-tool {"name", "arguments"}: the application's tool result, or the
  // unreachable-server error result when no usable reply arrives.
  virtual nlohmann::json forwardToolCall(const std::string& name,
                                         const nlohmann::json& arguments) = 0;
};

}  // namespace corvanta
