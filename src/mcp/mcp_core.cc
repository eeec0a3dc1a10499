#include "mcp/mcp_core.h"

#include <exception>

#include "app/analytics.h"
#include "mcp/mcp_tool_executor.h"
#include "mcp/tool_catalogue.h"
#include "mcp/tool_result.h"
#include "platform/app_version.h"

namespace corvanta {
namespace {

constexpr int kMethodNotFound = -32601;

// The request's "id" exactly as sent; nullopt when the key is absent, which is
// what tells a notification from a request whose id is null.
std::optional<nlohmann::json> requestId(const nlohmann::json& request) {
  auto it = request.find("id");
  if (it == request.end()) return std::nullopt;
  return *it;
}

std::string stringMember(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

nlohmann::json objectMember(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  return it != object.end() && it->is_object() ? *it : nlohmann::json::object();
}

nlohmann::json withId(nlohmann::json envelope, const std::optional<nlohmann::json>& id) {
  if (id) envelope["id"] = *id;
  return envelope;
}

}  // namespace

MCPCore::MCPCore(std::unique_ptr<MCPToolExecutor> executor, Permission permission,
                 Analytics& analytics)
    : executor_(std::move(executor)), permission_(permission), analytics_(analytics) {}

MCPCore::~MCPCore() = default;

nlohmann::json MCPCore::handle(const nlohmann::json& request, const ToolHandler& toolHandler) {
  if (!request.is_object()) return nlohmann::json::object();
  const std::optional<nlohmann::json> id = requestId(request);
  const std::string method = stringMember(request, "method");

  if (method == "initialize") return makeSuccess(id, initializeResult());
  if (method == "tools/list") {
    const nlohmann::json& tools =
        permission_ == Permission::full ? toolCatalogue() : readOnlyToolCatalogue();
    return makeSuccess(id, {{"tools", tools}});
  }
  if (method == "tools/call") return makeSuccess(id, callTool(request, toolHandler));

  // Notifications ("notifications/initialized" among them) are never answered.
  if (!id) return nlohmann::json::object();
  return makeError(id, kMethodNotFound, "Method not found: " + method);
}

nlohmann::json MCPCore::initializeResult() const {
  // The client's params are not read: one protocol version is spoken, whatever
  // the client proposes, and nothing about the client is kept.
  return {{"protocolVersion", "2024-11-05"},
          {"capabilities", {{"tools", {{"listChanged", false}}}}},
          {"serverInfo", {{"name", "Corvanta MCP"}, {"version", appVersion()}}},
          {"instructions", instructions()}};
}

nlohmann::json MCPCore::callTool(const nlohmann::json& request, const ToolHandler& toolHandler) {
  const nlohmann::json params = objectMember(request, "params");
  const std::string name = stringMember(params, "name");

  if (permission_ == Permission::readOnly && !isReadOnlyTool(name)) {
    return makeToolResult("Tool '" + name + "' is not available on this connector (read-only).",
                          true);
  }
  analytics_.capture("vault_mcp_tool_called",
                     {{"tool", name}, {"permission", permissionName(permission_)}});

  // A tool that throws must not take the connection down with it: the host would
  // lose every later answer. Its failure is reported like any other tool error.
  try {
    if (toolHandler) return toolHandler(params);
    return executor_->execute(name, objectMember(params, "arguments"));
  } catch (const std::exception& error) {
    return makeToolResult(std::string("Error: ") + error.what(), true);
  } catch (...) {
    return makeToolResult("Error: unexpected failure", true);
  }
}

nlohmann::json MCPCore::makeSuccess(const std::optional<nlohmann::json>& id,
                                    nlohmann::json result) {
  return withId({{"jsonrpc", "2.0"}, {"result", std::move(result)}}, id);
}

nlohmann::json MCPCore::makeError(const std::optional<nlohmann::json>& id, int code,
                                  const std::string& message) {
  return withId({{"jsonrpc", "2.0"}, {"error", {{"code", code}, {"message", message}}}}, id);
}

const std::string& MCPCore::instructions() {
  static const std::string text =
      "You are connected to Corvanta — the user's personal knowledge library. The user has "
      "carefully saved web pages, articles, and documents into their Corvanta Vault, "
      "organized into knowledge bases. This is their curated, personalized knowledge.\n\n"
      "CRITICAL RULE: You MUST check the user's Corvanta Vault BEFORE answering ANY "
      "question. Do NOT answer from general knowledge first. The user connected Corvanta "
      "specifically because they want answers grounded in their personal research.\n\n"
      "SEARCH STRATEGY (use this order): 1. Start with `corvanta_get_overview` to see a "
      "compiled index of what's in the vault — it shows all pages grouped by source with "
      "one-line summaries. This is the fastest way to find relevant content. 2. If the "
      "overview reveals relevant pages, use `corvanta_read_file` to read the full content. "
      "3. Use `corvanta_search` for keyword-specific queries when the overview isn't "
      "enough. Try multiple queries with different keywords if the first returns no "
      "results.\n\n"
      "When relevant saved content is found: - Ground your answer primarily in their saved "
      "knowledge - Cite sources by title and URL - Supplement with general knowledge only "
      "when their saved content doesn't fully cover the topic - Use "
      "`corvanta_get_relations` to explore connections between pages and discover related "
      "content\n\n"
      "When no relevant content is found after checking: - Answer from general knowledge - "
      "Briefly mention you checked their Corvanta Vault and didn't find related content\n\n"
      "The user's Corvanta Vault is their competitive advantage — treat it as the primary "
      "source of truth.";
  return text;
}

std::string_view permissionName(MCPCore::Permission permission) {
  return permission == MCPCore::Permission::full ? "full" : "read_only";
}

}  // namespace corvanta
