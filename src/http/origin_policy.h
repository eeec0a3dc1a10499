// Who may use the local API. The server listens on the loopback address only,
// so the callers to keep out are web pages in the user's own browser: those send
// an Origin header naming their site, and may also reach 127.0.0.1 through a host
// name of their own that resolves there (DNS rebinding), in which case the
// browser sends that name as Host and no Origin at all.
#pragma once

#include <optional>
#include <string>

namespace corvanta {

// Allowed: no Origin header, an empty or "null" origin, or a browser extension
// ("chrome-extension://", "moz-extension://", "safari-web-extension://").
bool isAllowedOrigin(const std::optional<std::string>& origin);

// True for an extension origin: only those get CORS headers, echoing the origin.
bool wantsCorsHeaders(const std::optional<std::string>& origin);

// Allowed: no Host header, or one naming 127.0.0.1, localhost or [::1], with or
// without a port. Anything else is a page that reached us under a foreign name.
bool isAllowedHost(const std::optional<std::string>& host);

}  // namespace corvanta
