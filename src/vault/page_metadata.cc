#include "vault/page_metadata.h"

#include <sys/stat.h>
#include <unicode/uchar.h>

#include <type_traits>

#include "platform/local_time.h"
#include "platform/unicode_text.h"

namespace corvanta {
namespace {

constexpr std::string_view kFrontMatterOpening = "---\n";
constexpr std::string_view kLinkMark = "\U0001F517";            // 🔗
constexpr std::string_view kDateMark = "\U0001F4C5";            // 📅
constexpr std::string_view kSquirrelMark = "\U0001F43F\uFE0F";  // 🐿️

// The standard header is looked for in the first 30 lines; the 31st piece is
// the rest of the text.
constexpr size_t kHeaderPieces = 31;

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

bool hasFrontMatter(std::string_view text) { return text.starts_with(kFrontMatterOpening); }

// Everything before the last ".", or the whole name when it has none.
std::string_view withoutExtension(std::string_view filename) {
  size_t dot = filename.rfind('.');
  return dot == std::string_view::npos ? filename : filename.substr(0, dot);
}

// "\d" as regular expressions read it: any decimal digit (category Nd).
bool isDecimalDigit(char32_t c) {
  return c < 0x80 ? (c >= '0' && c <= '9') : u_isdigit(static_cast<UChar32>(c));
}

// Whether the characters from `index` on have `shape`: 'd' for a digit and any
// other ASCII character for itself. `chars` holds code points, or bytes of an
// ASCII text.
template <typename Chars>
bool matchesShape(const Chars& chars, size_t index, std::string_view shape) {
  if (index + shape.size() > chars.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    char32_t c;
    if constexpr (std::is_same_v<Chars, std::string_view>) {
      c = static_cast<unsigned char>(chars[index + i]);
    } else {
      c = chars[index + i];
    }
    if (shape[i] == 'd' ? !isDecimalDigit(c) : c != static_cast<char32_t>(shape[i])) return false;
  }
  return true;
}

bool isAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

constexpr std::string_view kTimestampShape = "dddd-dd-dd dd.dd.dd";  // at the start
constexpr std::string_view kSlugDateShape = "-dddddddd-dddd";        // at the end

std::vector<char32_t> decode(std::string_view text) {
  std::vector<char32_t> chars;
  size_t offset = 0;
  while (offset < text.size()) chars.push_back(nextCodePoint(text, offset));
  return chars;
}

// Byte length of the timestamp at the start of `stem`, if it starts with one.
// ASCII text is matched byte by byte; the rare other names code point by code
// point, because "\d" also matches digits of other scripts.
std::optional<size_t> timestampLength(std::string_view stem) {
  std::string_view head = stem.substr(0, kTimestampShape.size());
  if (isAscii(head)) {
    if (!matchesShape(head, 0, kTimestampShape)) return std::nullopt;
    return head.size();
  }
  std::vector<char32_t> chars = decode(stem);
  if (!matchesShape(chars, 0, kTimestampShape)) return std::nullopt;
  size_t length = 0;
  for (size_t i = 0; i < kTimestampShape.size(); ++i) {
    nextCodePoint(stem, length);
  }
  return length;
}

// Byte offset where a trailing "-yyyyMMdd-HHmm" begins, if the stem ends so.
std::optional<size_t> slugDateStart(std::string_view stem) {
  size_t tail = std::min(stem.size(), kSlugDateShape.size());
  if (isAscii(stem.substr(stem.size() - tail))) {
    if (!matchesShape(stem.substr(stem.size() - tail), 0, kSlugDateShape)) return std::nullopt;
    return stem.size() - tail;
  }
  std::vector<char32_t> chars = decode(stem);
  if (chars.size() < kSlugDateShape.size()) return std::nullopt;
  size_t index = chars.size() - kSlugDateShape.size();
  if (!matchesShape(chars, index, kSlugDateShape)) return std::nullopt;
  size_t start = 0;
  for (size_t i = 0; i < index; ++i) nextCodePoint(stem, start);
  return start;
}

std::optional<TimePoint> modificationTime(const std::string& path) {
  struct stat status;
  if (path.empty() || ::stat(path.c_str(), &status) != 0) return std::nullopt;
  auto sinceEpoch = std::chrono::seconds(status.st_mtim.tv_sec) +
                    std::chrono::nanoseconds(status.st_mtim.tv_nsec);
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(sinceEpoch));
}

// The first kHeaderPieces pieces of the text split at line feeds. A carriage
// return that ends a piece belongs to its CR LF line break, not to the line: a
// page written with CR LF line ends would otherwise carry it into its title.
std::vector<std::string_view> headerPieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  pieces.reserve(kHeaderPieces);
  size_t start = 0;
  while (pieces.size() + 1 < kHeaderPieces) {
    size_t lineFeed = text.find('\n', start);
    if (lineFeed == std::string_view::npos) break;
    std::string_view piece = text.substr(start, lineFeed - start);
    if (piece.ends_with('\r')) piece.remove_suffix(1);
    pieces.push_back(piece);
    start = lineFeed + 1;
  }
  pieces.push_back(text.substr(start));
  return pieces;
}

// Calls `onLine` for each line between an opening "---" line and the first
// closing "---" line, and returns the text after the closing line. Returns
// nothing, having called nothing, when the text has no front matter or the
// block is never closed.
template <typename OnLine>
std::optional<std::string_view> forEachFrontMatterLine(std::string_view text, OnLine onLine) {
  if (!hasFrontMatter(text)) return std::nullopt;
  LineSplitter lines(text);
  std::string_view line;
  lines.next(line);  // the opening "---"
  LineSplitter scout = lines;
  bool closed = false;
  while (scout.next(line)) {
    if (line == "---") {
      closed = true;
      break;
    }
  }
  if (!closed) return std::nullopt;
  while (lines.next(line) && line != "---") onLine(line);
  return lines.rest();
}

// The body as a view, before its line breaks are normalised: the whole text
// without front matter, else what follows the block, trimmed. Trimming first
// and normalising after gives the same text as the other way round, because
// every line-break character is white space.
std::string_view bodyView(std::string_view text) {
  std::optional<std::string_view> rest = forEachFrontMatterLine(text, [](std::string_view) {});
  return rest ? trimWhitespaceAndNewlines(*rest) : text;
}

std::string_view unquoted(std::string_view value) {
  if (!value.empty() && value.front() == '"' && value.back() == '"') {
    value.remove_prefix(1);
    if (!value.empty()) value.remove_suffix(1);
  }
  return value;
}

// The address of "\(https?://[^)\s]+\)" (without the parentheses) or of
// "https?://[^\s)]+", found by scanning: both classes stop at the same
// characters, so the leftmost match of either form is found the same way.
// `\s` is Unicode White_Space, as in ICU's regular expressions.
std::optional<std::string_view> findAddress(std::string_view text, bool inParentheses) {
  size_t from = 0;
  while (true) {
    size_t at = text.find("http", from);
    if (at == std::string_view::npos) return std::nullopt;
    from = at + 1;
    if (inParentheses && (at == 0 || text[at - 1] != '(')) continue;
    size_t rest = at + 4;
    if (rest < text.size() && text[rest] == 's') ++rest;
    if (text.substr(rest, 3) != "://") continue;
    size_t end = rest + 3;
    while (end < text.size()) {
      size_t next = end;
      char32_t c = nextCodePoint(text, next);
      if (c == U')' || u_isUWhiteSpace(static_cast<UChar32>(c))) break;
      end = next;
    }
    if (end == rest + 3) continue;
    if (inParentheses && (end == text.size() || text[end] != ')')) continue;
    return text.substr(at, end - at);
  }
}

bool isSchemeCharacter(char c, bool first) {
  bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return letter;
  return letter || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool isValidScheme(std::string_view scheme) {
  if (scheme.empty()) return false;
  for (size_t i = 0; i < scheme.size(); ++i) {
    if (!isSchemeCharacter(scheme[i], i == 0)) return false;
  }
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A host as URL parsers hand it out: percent escapes decoded. Characters that
// may not appear in a URL at all make the address unparseable.
std::optional<std::string> decodedHost(std::string_view host) {
  constexpr std::string_view kForbidden = "<>\"{}|\\^`";
  std::string out;
  for (size_t i = 0; i < host.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(host[i]);
    if (c <= 0x20 || c == 0x7F || kForbidden.find(host[i]) != std::string_view::npos) {
      return std::nullopt;
    }
    if (c != '%') {
      out.push_back(host[i]);
      continue;
    }
    if (i + 2 >= host.size() || hexValue(host[i + 1]) < 0 || hexValue(host[i + 2]) < 0) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>(hexValue(host[i + 1]) * 16 + hexValue(host[i + 2])));
    i += 2;
  }
  return out;
}

// The host of scheme://[userinfo@]host[:port][/path][?query][#fragment], or of
// a network-path reference "//host/...". IPv6 literals lose their brackets.
std::optional<std::string> urlHost(std::string_view url) {
  std::string_view rest = url;
  size_t colon = url.find_first_of(":/?#");
  if (colon != std::string_view::npos && url[colon] == ':' && isValidScheme(url.substr(0, colon))) {
    rest = url.substr(colon + 1);
  }
  if (!rest.starts_with("//")) return std::nullopt;
  rest.remove_prefix(2);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string_view host;
  std::string_view port;
  if (authority.starts_with('[')) {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty() && !after.starts_with(':')) return std::nullopt;
    port = after.empty() ? after : after.substr(1);
  } else {
    size_t portColon = authority.find(':');
    host = authority.substr(0, portColon);
    if (portColon != std::string_view::npos) port = authority.substr(portColon + 1);
  }
  if (port.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  if (host.empty()) return std::nullopt;
  return decodedHost(host);
}

bool isRuleLine(std::string_view line) {
  return line.size() > 2 && line.find_first_not_of("-* ") == std::string_view::npos;
}

// The tests a body line must pass to be a summary, on the line trimmed of
// spaces and tabs.
bool qualifiesForSummary(std::string_view line) {
  if (line.empty() || line.starts_with("#") || line.starts_with("![")) return false;
  if (isRuleLine(line)) return false;
  if (contains(line, kLinkMark) || contains(line, kDateMark) || contains(line, kSquirrelMark)) {
    return false;
  }
  for (std::string_view mark : {"\U0001F4C4", "\U0001F3A5", "\U0001F4F9", "\U0001F426",
                                "> \U0001F4C4", "> \U0001F517", "> \U0001F4C5"}) {
    if (line.starts_with(mark)) return false;
  }
  return graphemeCount(line) >= 20;
}

void removeAll(std::string& text, std::string_view part) {
  size_t at = 0;
  while ((at = text.find(part, at)) != std::string::npos) text.erase(at, part.size());
}

}  // namespace

FileMeta parseMetadata(std::string_view filename, std::string_view text, const std::string& path) {
  std::optional<TimePoint> date = dateFromFilename(filename);
  if (!date) date = modificationTime(path);
  std::string defaultSavedAt = iso8601(date.value_or(std::chrono::system_clock::now()));

  FileMeta meta;
  if (hasFrontMatter(text)) {
    FrontMatter front = parseFrontmatter(text);
    meta.savedAt = front.savedAt.empty() ? defaultSavedAt : front.savedAt;
    meta.title = front.title.empty() ? titleFromFilename(filename) : front.title;
    meta.domain = front.domain.empty() ? domainFromURL(front.url) : front.domain;
    meta.url = std::move(front.url);
    meta.templateName = std::move(front.templateName);
    return meta;
  }
  std::vector<std::string_view> pieces = headerPieces(text);
  std::optional<std::string> title = headerTitle(pieces);
  meta.title = title ? std::move(*title) : titleFromFilename(filename);
  meta.url = headerURL(pieces).value_or("");
  meta.domain = domainFromURL(meta.url);
  meta.savedAt = std::move(defaultSavedAt);
  return meta;
}

std::optional<TimePoint> dateFromFilename(std::string_view filename) {
  std::string_view stem = withoutExtension(filename);
  if (std::optional<size_t> length = timestampLength(stem)) {
    // Only the matched text is parsed; whatever follows it is free text.
    return parseLocalTime(stem.substr(0, *length), "yyyy-MM-dd HH.mm.ss");
  }
  if (std::optional<size_t> start = slugDateStart(stem)) {
    return parseLocalTime(stem.substr(*start + 1), "yyyyMMdd-HHmm");
  }
  return std::nullopt;
}

std::string titleFromFilename(std::string_view filename) {
  std::string_view stem = withoutExtension(filename);
  if (std::optional<size_t> start = slugDateStart(stem)) stem = stem.substr(0, *start);
  for (std::string_view suffix : {"-instagram", "-youtube", "-twitter", "-tiktok", "-x"}) {
    if (stem.ends_with(suffix)) {
      stem.remove_suffix(suffix.size());
      break;
    }
  }
  std::string title(stem);
  for (char& c : title) {
    if (c == '-') c = ' ';
  }
  return uppercaseFirstCharacter(title);
}

std::string domainFromURL(std::string_view url) {
  if (url.empty()) return {};
  std::optional<std::string> host = urlHost(url);
  if (!host) return {};
  if (host->starts_with("www.")) host->erase(0, 4);
  return std::move(*host);
}

FrontMatter parseFrontmatter(std::string_view text) {
  FrontMatter front;
  forEachFrontMatterLine(text, [&](std::string_view line) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return;
    std::string_view key = trimSpacesAndTabs(line.substr(0, colon));
    std::string value(unquoted(trimSpacesAndTabs(line.substr(colon + 1))));
    if (key == "title") {
      front.title = std::move(value);
    } else if (key == "url") {
      front.url = std::move(value);
    } else if (key == "domain") {
      front.domain = std::move(value);
    } else if (key == "template") {
      front.templateName = std::move(value);
    } else if (key == "saved_at") {
      front.savedAt = std::move(value);
    }
  });
  return front;
}

std::optional<std::string> headerTitle(const std::vector<std::string_view>& pieces) {
  for (std::string_view piece : pieces) {
    std::string_view line = trimSpacesAndTabs(piece);
    if (line.empty() || line == "---" || contains(line, kLinkMark) || contains(line, kDateMark) ||
        contains(line, kSquirrelMark)) {
      continue;
    }
    if (line.starts_with("# ")) {
      std::string_view heading = trimSpacesAndTabs(line.substr(2));
      if (!heading.empty()) return std::string(heading);
    }
    if (size_t separator = line.find(": "); separator != std::string_view::npos) {
      std::string_view labelled = trimSpacesAndTabs(line.substr(separator + 2));
      if (!labelled.empty()) return std::string(labelled);
    }
    return std::string(line);
  }
  return std::nullopt;
}

std::optional<std::string> headerURL(const std::vector<std::string_view>& pieces) {
  for (std::string_view piece : pieces) {
    if (!contains(piece, kLinkMark)) continue;
    std::optional<std::string_view> address = findAddress(piece, true);
    if (!address) address = findAddress(piece, false);
    if (address) return std::string(*address);
  }
  return std::nullopt;
}

std::string stripFrontmatter(std::string_view text) {
  std::optional<std::string_view> rest = forEachFrontMatterLine(text, [](std::string_view) {});
  if (!rest) return std::string(text);
  std::string_view body = trimWhitespaceAndNewlines(*rest);
  // The body's line breaks, whatever they were, become line feeds.
  std::string joined;
  joined.reserve(body.size());
  LineSplitter lines(body);
  std::string_view line;
  for (bool first = true; lines.next(line); first = false) {
    if (!first) joined.push_back('\n');
    joined.append(line);
  }
  return joined;
}

std::optional<std::string> extractSummary(std::string_view text, size_t maxLength) {
  // Lines are tested one by one, so the body's line breaks need no rewriting.
  LineSplitter lines(bodyView(text));
  std::string_view line;
  while (lines.next(line)) {
    std::string_view trimmed = trimSpacesAndTabs(line);
    if (!qualifiesForSummary(trimmed)) continue;
    std::string summary(trimmed);
    removeAll(summary, "**");
    removeAll(summary, "__");
    if (graphemeCount(summary) <= maxLength) return summary;
    std::string prefix = graphemePrefix(summary, maxLength);
    if (size_t space = prefix.rfind(' '); space != std::string::npos) prefix.resize(space);
    return prefix + "...";
  }
  return std::nullopt;
}

TimePoint dateFromSavedAt(std::string_view savedAt) {
  if (std::optional<TimePoint> date = parseISO8601(savedAt)) return *date;
  if (std::optional<TimePoint> date = parseISO8601WithFraction(savedAt)) return *date;
  return std::chrono::system_clock::now();
}

std::string iso8601(TimePoint time) { return formatISO8601(time); }

}  // namespace corvanta
