#include "http/http_response.h"

#include "http/origin_policy.h"
#include "platform/json_text.h"

namespace corvanta {
namespace {

constexpr const char* kAllowMethods =
    "Access-Control-Allow-Methods: GET, POST, PUT, DELETE, OPTIONS\r\n";
constexpr const char* kAllowHeaders = "Access-Control-Allow-Headers: Content-Type\r\n";
constexpr const char* kAllowPrivateNetwork = "Access-Control-Allow-Private-Network: true\r\n";

std::string serializeBody(const nlohmann::json& body) {
  if (body.is_null() || body.is_discarded()) return "";
  try {
    return prettyJson(body);
  } catch (const std::exception&) {
    return "";  // the status stands; the client sees an empty body
  }
}

}  // namespace

std::string reasonPhrase(int status) {
  switch (status) {
    case 201:
      return "Created";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "OK";
  }
}

std::string formatResponse(int status, const nlohmann::json& body,
                           const std::optional<std::string>& origin) {
  const std::string payload = serializeBody(body);
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
  head += "Content-Type: application/json\r\n";
  head += "Content-Length: " + std::to_string(payload.size()) + "\r\n";
  if (wantsCorsHeaders(origin)) {
    head += "Access-Control-Allow-Origin: " + *origin + "\r\n";
    head += "Vary: Origin\r\n";
    head += kAllowMethods;
    head += kAllowHeaders;
    head += kAllowPrivateNetwork;
  }
  head += "Connection: close\r\n\r\n";
  return head + payload;
}

std::string preflightResponse(const std::optional<std::string>& origin) {
  std::string reply = "HTTP/1.1 204 No Content\r\n";
  if (wantsCorsHeaders(origin)) {
    reply += "Access-Control-Allow-Origin: " + *origin + "\r\n";
    reply += "Vary: Origin\r\n";
  }
  reply += kAllowMethods;
  reply += kAllowHeaders;
  reply += kAllowPrivateNetwork;
  reply += "Access-Control-Max-Age: 86400\r\n";
  reply += "Connection: close\r\n\r\n";
  return reply;
}

std::string bareNoContentResponse() {
  return "HTTP/1.1 204 No Content\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

}  // namespace corvanta
