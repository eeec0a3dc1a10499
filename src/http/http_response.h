// The bytes the local API writes back. Every reply is a complete HTTP/1.1 message
// followed by closing the connection, so each carries "Connection: close" and,
// unless it is a preflight, an exact Content-Length.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

// What a route answers: a status and a JSON body. A null body is sent as zero
// bytes.
struct RouteResponse {
  int status = 200;
  nlohmann::json body;
};

// "Created", "Bad Request", "Forbidden", "Not Found", "Internal Server Error";
// every other status, 200 included, is "OK".
std::string reasonPhrase(int status);

// A JSON reply: pretty-printed body with sorted keys. CORS headers are added only
// for a browser-extension origin, which is echoed exactly as received.
std::string formatResponse(int status, const nlohmann::json& body,
                           const std::optional<std::string>& origin);

// The answer to an allowed OPTIONS request: permissions and no body.
std::string preflightResponse(const std::optional<std::string>& origin);

// The answer to a refused OPTIONS request: it grants nothing.
std::string bareNoContentResponse();

}  // namespace corvanta
