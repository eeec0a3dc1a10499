// The page file format: how a page's title, source, domain and save date are read
// out of its text and name, and the body and summary rules other parts build on.
// Nothing here fails: every missing piece has a fallback.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vault/records.h"

namespace corvanta {

struct FrontMatter {
  std::string title;
  std::string url;
  std::string domain;
  std::string templateName;
  std::string savedAt;
};

// `path` is used only for the modification-time fallback of the date.
FileMeta parseMetadata(std::string_view filename, std::string_view text, const std::string& path);

// "yyyy-MM-dd HH.mm.ss.md" or "<slug>-yyyyMMdd-HHmm.md", in the local time zone.
std::optional<TimePoint> dateFromFilename(std::string_view filename);
std::string titleFromFilename(std::string_view filename);
std::string domainFromURL(std::string_view url);
FrontMatter parseFrontmatter(std::string_view text);
std::optional<std::string> headerTitle(const std::vector<std::string_view>& pieces);
std::optional<std::string> headerURL(const std::vector<std::string_view>& pieces);

// The body: the text after a closed front-matter block, trimmed; otherwise the
// whole text unchanged.
std::string stripFrontmatter(std::string_view text);

// First qualifying body line, cut to `maxLength` user-perceived characters at a
// word boundary with "..." appended.
std::optional<std::string> extractSummary(std::string_view text, size_t maxLength);

// A stored savedAt text back to a date: ISO 8601 with or without fractional
// seconds; the current time when it parses as neither.
TimePoint dateFromSavedAt(std::string_view savedAt);

// yyyy-MM-dd'T'HH:mm:ss'Z' in UTC.
std::string iso8601(TimePoint time);

}  // namespace corvanta
