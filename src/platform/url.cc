#include "platform/url.h"

#include <algorithm>
#include <charconv>

namespace corvanta {
namespace {

uint16_t defaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return 80;
  if (scheme == "https" || scheme == "wss") return 443;
  return 0;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), lower);
  return out;
}

// Printable ASCII without the space. Non-ASCII bytes are refused too: targets are
// expected percent-encoded, and a raw byte there would be sent verbatim.
bool isVisibleAscii(char c) { return c > 0x20 && c < 0x7f; }

bool isHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

bool isIpv6Char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

std::optional<uint16_t> parsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

// Splits "host[:port]" or "[v6]:port" into `url`.
bool parseAuthority(std::string_view authority, Url& url) {
  std::string_view host = authority;
  std::string_view port;
  if (authority.starts_with('[')) {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(1, close - 1);
    std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return false;
      port = rest.substr(1);
      if (port.empty()) return false;
    }
    if (host.empty() || !std::all_of(host.begin(), host.end(), isIpv6Char)) return false;
  } else {
    size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
      if (port.empty()) return false;
    }
    if (host.empty() || !std::all_of(host.begin(), host.end(), isHostChar)) return false;
  }
  url.host = lowered(host);
  if (!port.empty()) {
    auto number = parsePort(port);
    if (!number) return false;
    url.port = *number;
  }
  return true;
}

}  // namespace

std::string Url::authority() const {
  std::string text = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (port != defaultPort(scheme)) text += ":" + std::to_string(port);
  return text;
}

std::optional<Url> parseUrl(std::string_view text) {
  if (!std::all_of(text.begin(), text.end(), isVisibleAscii)) return std::nullopt;
  size_t separator = text.find("://");
  if (separator == std::string_view::npos) return std::nullopt;

  Url url;
  url.scheme = lowered(text.substr(0, separator));
  url.port = defaultPort(url.scheme);
  if (url.port == 0) return std::nullopt;

  std::string_view rest = text.substr(separator + 3);
  size_t authorityEnd = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authorityEnd);
  if (authority.find('@') != std::string_view::npos) return std::nullopt;
  if (!parseAuthority(authority, url)) return std::nullopt;

  std::string_view target =
      authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  target = target.substr(0, target.find('#'));
  url.target = std::string(target);
  if (url.target.empty() || url.target.front() != '/') url.target.insert(0, "/");
  return url;
}

}  // namespace corvanta
