// MCPCore: turns one decoded JSON-RPC 2.0 request of the Model Context Protocol
// into one decoded response. It knows nothing of transports: the stdio server
// and the relay each own a core, feed it every JSON object they receive and send
// back whatever it returns.
//
// The core answers "initialize", "tools/list" and "tools/call"; every other
// method is "Method not found" (or nothing at all for a notification). It keeps
// no per-connection state, so tools are listed and called even before
// "initialize". Tool failures never become JSON-RPC errors: they travel as tool
// results with "isError": true.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace corvanta {

class Analytics;
class MCPToolExecutor;

class MCPCore {
 public:
  // A full core offers the whole catalogue; a read-only core (the relay's) lists
  // and runs only the tools that never change the vault.
  enum class Permission { full, readOnly };

  // Given the whole "params" object of a tools/call, returns its tool result. The
  // stdio server passes one to forward calls to the application; when absent the
  // core's own executor runs the tool.
  using ToolHandler = std::function<nlohmann::json(const nlohmann::json& params)>;

  MCPCore(std::unique_ptr<MCPToolExecutor> executor, Permission permission, Analytics& analytics);
  ~MCPCore();
  MCPCore(const MCPCore&) = delete;
  MCPCore& operator=(const MCPCore&) = delete;

  Permission permission() const { return permission_; }

  // Returns the response to send, or an empty object when nothing is to be sent
  // (a notification). Runs on the caller's thread; a tool call may block for as
  // long as the tool takes.
  nlohmann::json handle(const nlohmann::json& request, const ToolHandler& toolHandler = nullptr);

  // Response envelopes. `id` is copied exactly; when the request carried no "id"
  // key (nullopt) the response has none either — which differs from a null id.
  static nlohmann::json makeSuccess(const std::optional<nlohmann::json>& id, nlohmann::json result);
  static nlohmann::json makeError(const std::optional<nlohmann::json>& id, int code,
                                  const std::string& message);

  // The text "initialize" gives the assistant about how to use the vault.
  static const std::string& instructions();

 private:
  nlohmann::json initializeResult() const;
  nlohmann::json callTool(const nlohmann::json& request, const ToolHandler& toolHandler);

  std::unique_ptr<MCPToolExecutor> executor_;
  const Permission permission_;
  Analytics& analytics_;
};

// The permission as analytics names it: "full" or "read_only".
std::string_view permissionName(MCPCore::Permission permission);

}  // namespace corvanta
