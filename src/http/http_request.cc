#include "http/http_request.h"

#include <charconv>
#include <vector>

#include "platform/unicode_text.h"

namespace corvanta {
namespace {

constexpr std::string_view kLineBreak = "\r\n";
constexpr std::string_view kHeadEnd = "\r\n\r\n";

std::vector<std::string_view> splitAtCrLf(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(kLineBreak, start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + kLineBreak.size();
  }
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithIgnoringCase(std::string_view text, std::string_view lowerPrefix) {
  if (text.size() < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    if (asciiLower(text[i]) != lowerPrefix[i]) return false;
  }
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

HttpRequest parseHttpRequest(std::string_view text) {
  HttpRequest request;
  const std::vector<std::string_view> words = splitDroppingEmpty(splitAtCrLf(text).front(), ' ');
  if (words.size() < 2) {
    request.method = "GET";
    request.path = "/";
    return request;
  }
  request.method = std::string(words[0]);
  std::string_view target = words[1];
  if (target.front() == '/') target.remove_prefix(1);
  request.path = std::string(target);
  if (auto offset = bytesAfterHead(text)) {
    std::string_view body = text.substr(text.size() - *offset);
    if (!body.empty()) request.body = std::string(body);
  }
  return request;
}

std::optional<std::string> headerValue(std::string_view text, std::string_view name) {
  std::string prefix;
  for (char c : name) prefix.push_back(asciiLower(c));
  prefix.push_back(':');
  for (std::string_view line : splitAtCrLf(text)) {
    if (startsWithIgnoringCase(line, prefix)) {
      return std::string(trimSpacesAndTabs(line.substr(prefix.size())));
    }
  }
  return std::nullopt;
}

std::optional<int64_t> announcedContentLength(std::string_view text) {
  std::optional<std::string> value = headerValue(text, "content-length");
  if (!value || value->empty()) return std::nullopt;
  std::string_view digits = *value;
  bool negative = false;
  if (digits.front() == '+' || digits.front() == '-') {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  int64_t magnitude = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return negative ? -magnitude : magnitude;
}

std::optional<size_t> bytesAfterHead(std::string_view text) {
  size_t end = text.find(kHeadEnd);
  if (end == std::string_view::npos) return std::nullopt;
  return text.size() - end - kHeadEnd.size();
}

std::optional<std::string> queryParameter(std::string_view path, std::string_view name) {
  size_t question = path.find('?');
  if (question == std::string_view::npos) return std::nullopt;
  for (std::string_view piece : splitDroppingEmpty(path.substr(question + 1), '&')) {
    size_t equals = piece.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view key = piece.substr(0, equals);
    std::string_view value = piece.substr(equals + 1);
    if (key.empty() || value.empty() || key != name) continue;
    return percentDecode(value);
  }
  return std::nullopt;
}

std::optional<std::string> percentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    int high = hexDigit(text[i + 1]);
    int low = hexDigit(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (!isValidUtf8(decoded)) return std::nullopt;
  return decoded;
}

}  // namespace corvanta
