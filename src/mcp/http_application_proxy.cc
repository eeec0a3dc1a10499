#include "mcp/http_application_proxy.h"

#include <algorithm>

#include "mcp/tool_result.h"
#include "platform/json_text.h"

namespace corvanta {
namespace {

constexpr std::chrono::seconds kProbeTimeout{5};
// A forwarded save-URL call drives the browser and may take this long.
constexpr std::chrono::seconds kToolTimeout{120};

constexpr char kUnreachable[] =
    "Error: Failed to reach Corvanta Vault HTTP server. Is Corvanta Vault running?";

}  // namespace

HttpApplicationProxy::HttpApplicationProxy(HttpClient& client, std::string baseUrl)
    : client_(client), baseUrl_(std::move(baseUrl)) {}

nlohmann::json HttpApplicationProxy::fetchJson(const std::string& method, const std::string& path,
                                               const std::string& body,
                                               std::chrono::milliseconds timeout) {
  HttpHeaders headers;
  if (!body.empty()) headers.emplace_back("Content-Type", "application/json");
  std::optional<HttpResponse> response =
      client_.request(method, baseUrl_ + path, headers, body, timeout);
  if (!response || response->status != 200)
    return nlohmann::json(nlohmann::json::value_t::discarded);
  return parseJson(response->body);
}

bool HttpApplicationProxy::isReachable() {
  nlohmann::json reply = fetchJson("GET", "/ping", "", kProbeTimeout);
  if (!reply.is_object()) return false;
  auto ok = reply.find("ok");
  return ok != reply.end() && ok->is_boolean() && ok->get<bool>();
}

bool HttpApplicationProxy::reportsKnowledgeBases() {
  nlohmann::json reply = fetchJson("GET", "/kbs", "", kProbeTimeout);
  return reply.is_array() && !reply.empty() &&
         std::all_of(reply.begin(), reply.end(), [](const auto& kb) { return kb.is_object(); });
}

nlohmann::json HttpApplicationProxy::forwardToolCall(const std::string& name,
                                                     const nlohmann::json& arguments) {
  std::string body;
  try {
    body = nlohmann::json{{"name", name}, {"arguments", arguments}}.dump();
  } catch (const nlohmann::json::exception&) {
    return makeToolResult(kUnreachable, true);
  }
  nlohmann::json reply = fetchJson("POST", "/mcp-tool", body, kToolTimeout);
  if (!reply.is_object()) return makeToolResult(kUnreachable, true);
  return reply;
}

}  // namespace corvanta
