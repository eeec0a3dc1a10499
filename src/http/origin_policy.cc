#include "http/origin_policy.h"

#include <array>
#include <string_view>

namespace corvanta {
namespace {

constexpr std::array<std::string_view, 3> kExtensionPrefixes = {
    "chrome-extension://", "moz-extension://", "safari-web-extension://"};

constexpr std::array<std::string_view, 3> kLoopbackNames = {"127.0.0.1", "localhost", "[::1]"};

bool isExtensionOrigin(std::string_view origin) {
  // The origin is echoed into a response header; a bare line feed or other
  // control character inside it would let a client forge headers of its own.
  for (char c : origin) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  for (std::string_view prefix : kExtensionPrefixes) {
    if (origin.starts_with(prefix)) return true;
  }
  return false;
}

bool isPort(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

}  // namespace

bool isAllowedOrigin(const std::optional<std::string>& origin) {
  if (!origin || origin->empty() || *origin == "null") return true;
  return isExtensionOrigin(*origin);
}

bool wantsCorsHeaders(const std::optional<std::string>& origin) {
  return origin && !origin->empty() && isExtensionOrigin(*origin);
}

bool isAllowedHost(const std::optional<std::string>& host) {
  if (!host) return true;
  // Host names are case-insensitive; a browser may send "LocalHost:7421".
  const std::string name = lowerAscii(*host);
  for (std::string_view loopback : kLoopbackNames) {
    if (name == loopback) return true;
    if (name.starts_with(loopback) && name.size() > loopback.size() &&
        name[loopback.size()] == ':' &&
        isPort(std::string_view(name).substr(loopback.size() + 1))) {
      return true;
    }
  }
  return false;
}

}  // namespace corvanta
