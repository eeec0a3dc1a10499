#include "http/request_handler.h"

#include "http/origin_policy.h"
#include "platform/unicode_text.h"

namespace corvanta {

std::string invalidRequestResponse() {
  return formatResponse(400, {{"error", "Invalid request"}}, std::nullopt);
}

std::string handleHttpRequest(std::string_view bytes, const Router& router) {
  if (!isValidUtf8(bytes)) return invalidRequestResponse();

  const HttpRequest request = parseHttpRequest(bytes);
  const std::optional<std::string> origin = headerValue(bytes, "origin");
  const bool allowed = isAllowedOrigin(origin) && isAllowedHost(headerValue(bytes, "host"));

  if (request.method == "OPTIONS") {
    return allowed ? preflightResponse(origin) : bareNoContentResponse();
  }
  if (!allowed) {
    return formatResponse(403, {{"error", "Origin not allowed"}}, std::nullopt);
  }
  RouteResponse response = router(request);
  return formatResponse(response.status, response.body, origin);
}

}  // namespace corvanta
