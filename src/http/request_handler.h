// From the bytes of one request to the bytes of its reply: decoding, the origin
// and host checks, preflight handling and the call into the routes. Everything
// between the socket reads and the socket write lives here, free of I/O.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "http/http_request.h"
#include "http/http_response.h"

namespace corvanta {

// Maps a parsed request to its response; runs on the server's worker threads.
using Router = std::function<RouteResponse(const HttpRequest& request)>;

// The complete reply to `bytes`. Bytes that are not UTF-8 get 400 "Invalid
// request". OPTIONS never reaches the router: an allowed origin gets the
// preflight reply, a refused one the bare 204. Any other request from a refused
// origin or a foreign Host gets 403 "Origin not allowed".
std::string handleHttpRequest(std::string_view bytes, const Router& router);

// The 400 reply for a request that cannot be read.
std::string invalidRequestResponse();

}  // namespace corvanta
