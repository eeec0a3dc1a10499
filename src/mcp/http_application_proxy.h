// ApplicationProxy over HTTP: the stdio MCP server's view of the running
// application's local API on 127.0.0.1:7421. A reply counts only when it is an
// HTTP response with status 200 and the expected JSON shape; a transport error,
// a time-out, any other status or any other body is no reply.
#pragma once

#include <string>

#include "mcp/application_proxy.h"
#include "platform/http_client.h"

namespace corvanta {

class HttpApplicationProxy : public ApplicationProxy {
 public:
  static constexpr const char* kDefaultBaseUrl = "http://127.0.0.1:7421";

  // `client` must outlive the proxy. `baseUrl` has no trailing slash.
  explicit HttpApplicationProxy(HttpClient& client, std::string baseUrl = kDefaultBaseUrl);

  bool isReachable() override;
  bool reportsKnowledgeBases() override;
  nlohmann::json forwardToolCall(const std::string& name, const nlohmann::json& arguments) override;

 private:
  // The body of a status-200 reply parsed as JSON; discarded otherwise.
  nlohmann::json fetchJson(const std::string& method, const std::string& path,
                           const std::string& body, std::chrono::milliseconds timeout);

  HttpClient& client_;
  std::string baseUrl_;
};

}  // namespace corvanta
