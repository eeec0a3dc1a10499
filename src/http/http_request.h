// One HTTP/1.1 request as the local API reads it: the raw bytes of a single
// request on a single connection, parsed without a general HTTP parser.
//
// The rules are deliberately simple and fixed, because the browser extension and
// the stdio servers that talk to this API have always been served by them:
// lines end in "\r\n", a header is found by the first line that begins with its
// name (case-insensitively), and the body is everything after the first blank
// line. Nothing here touches sockets, so every rule is testable on plain text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvanta {

struct HttpRequest {
  std::string method;               // case kept, e.g. "GET"
  std::string path;                 // request target without its leading "/", query kept
  std::optional<std::string> body;  // absent when empty or when there is no blank line
};

// Parses one request. A request line with fewer than two words (or no text at
// all) reads as a GET of "/", which no route serves.
HttpRequest parseHttpRequest(std::string_view text);

// The value of the first line whose lower-cased start is "<name>:", trimmed of
// spaces and tabs. Body lines are searched too when no header line matched.
std::optional<std::string> headerValue(std::string_view text, std::string_view name);

// The Content-Length a request announces: the first "content-length:" line read
// as a signed decimal integer; an empty or non-numeric value gives none.
std::optional<int64_t> announcedContentLength(std::string_view text);

// Bytes after the first "\r\n\r\n", or none when the head has not ended.
std::optional<size_t> bytesAfterHead(std::string_view text);

// The first `name=value` pair of the query string of `path`, percent-decoded.
// Empty keys and values are skipped; "+" stays a plus sign; a value that is not
// valid percent-encoding gives none.
std::optional<std::string> queryParameter(std::string_view path, std::string_view name);

// Decodes %XX escapes. Fails on a malformed escape or when the result is not
// valid UTF-8.
std::optional<std::string> percentDecode(std::string_view text);

}  // namespace corvanta
