// Absolute URLs of the schemes the product's clients speak: http, https, ws, wss.
// Parsing is strict on purpose: the parts end up in a request line and a Host
// header, so anything that could smuggle a space, a line break or user info into
// them is refused instead of being repaired.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvanta {

struct Url {
  std::string scheme;  // lower case: "http", "https", "ws" or "wss"
  std::string host;    // lower case; an IPv6 address without its brackets
  uint16_t port = 0;   // the scheme's default port when the URL names none
  std::string target;  // path and query, never empty ("/" at least), no fragment

  // https and wss run over TLS.
  bool secure() const { return scheme == "https" || scheme == "wss"; }
  // The Host header's value: the port appears only when it is not the default.
  std::string authority() const;
};

// Nothing for relative URLs, other schemes, user info, empty hosts, bad ports
// and any control character or space.
std::optional<Url> parseUrl(std::string_view text);

}  // namespace corvanta
