#include "vault/page_metadata.h"

namespace corvanta {

// Placeholder until the page format lands.
FileMeta parseMetadata(std::string_view filename, std::string_view, const std::string&) {
  FileMeta meta;
  meta.title = std::string(filename);
  return meta;
}
std::optional<TimePoint> dateFromFilename(std::string_view) { return std::nullopt; }
std::string titleFromFilename(std::string_view f) { return std::string(f); }
std::string domainFromURL(std::string_view) { return {}; }
FrontMatter parseFrontmatter(std::string_view) { return {}; }
std::optional<std::string> headerTitle(const std::vector<std::string_view>&) { return std::nullopt; }
std::optional<std::string> headerURL(const std::vector<std::string_view>&) { return std::nullopt; }
std::string stripFrontmatter(std::string_view text) { return std::string(text); }
std::optional<std::string> extractSummary(std::string_view, size_t) { return std::nullopt; }
TimePoint dateFromSavedAt(std::string_view) { return std::chrono::system_clock::now(); }
std::string iso8601(TimePoint) { return {}; }

}  // namespace corvanta
