#include "mcp/browse_tools.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "mcp/text_join.h"
#include "mcp/tool_arguments.h"
#include "mcp/tool_result.h"
#include "mcp/vault_file_reader.h"
#include "platform/local_time.h"
#include "platform/unicode_text.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

// A search hit shows at most this many of its matching lines.
constexpr size_t kMatchingLinesShown = 2;

std::string noKnowledgeBasesText(const KestFileManager& store) {
  return "No knowledge bases found in " + store.rootPath() + "/";
}

std::string noFilesText(const std::string& kb) { return "No files found in '" + kb + "'"; }

// Empty means "not given" for the tools whose knowledge base is optional: the
// argument rules turn a missing value into the empty string, and no knowledge
// base can have an empty name, so restricting to "" could only ever find nothing.
std::optional<std::string> optionalKnowledgeBase(const ToolArguments& arguments) {
  std::string kb = arguments.text("kb");
  if (kb.empty()) return std::nullopt;
  return kb;
}

std::string pageCountText(int64_t count) {
  return std::to_string(count) + (count == 1 ? " page" : " pages");
}

// The title of a topic page is its first "# " heading; without one, its slug.
std::string topicLine(const KestFileManager& store, const std::string& kb,
                      const TopicEntry& topic) {
  std::optional<VaultFileText> page = readVaultFile(store, kb, "_topic-" + topic.slug + ".md");
  if (!page) return "- " + topic.slug + " [" + topic.filename + "]";
  std::string title = topic.slug;
  for (std::string_view line : splitLines(page->text)) {
    if (line.starts_with("# ")) {
      title = std::string(line.substr(2));
      break;
    }
  }
  return "- **" + title + "** [" + topic.filename + "]";
}

std::string searchEntry(const SearchResult& hit) {
  std::string entry =
      "- " + hit.title + " [" + hit.kb + "/" + hit.filename + "]\n  URL: " + hit.url;
  size_t shown = std::min(hit.matchingLines.size(), kMatchingLinesShown);
  for (size_t i = 0; i < shown; ++i) {
    entry += "\n  > ";
    entry += trimSpacesAndTabs(hit.matchingLines[i]);
  }
  return entry;
}

nlohmann::json knowledgeBaseOverview(KestFileManager& store, const std::string& kb) {
  if (std::optional<std::string> index = store.readIndex(kb)) {
    return makeToolResult(std::move(*index));
  }

  // Answer now from the pages themselves; the compiled index is there next time.
  store.scheduleIndexRefresh(kb);
  std::vector<SavedFile> files = store.listFiles(kb);
  if (files.empty()) return makeToolResult(noFilesText(kb));
  std::vector<std::string> lines;
  lines.reserve(files.size());
  for (const SavedFile& file : files) {
    lines.push_back("- " + file.title + " (" + file.domain + ") [" + file.filename + "]");
  }
  return makeToolResult("'" + kb + "' — " + std::to_string(files.size()) +
                        " pages (index is being built, call again for the compiled overview):\n" +
                        joinText(lines, "\n"));
}

nlohmann::json vaultOverview(KestFileManager& store) {
  std::vector<KnowledgeBase> kbs = store.listKnowledgeBases();
  if (kbs.empty()) return makeToolResult(noKnowledgeBasesText(store));

  std::vector<std::string> parts;
  if (std::optional<std::string> guide = store.readGuide()) parts.push_back(std::move(*guide));
  std::vector<std::string> lines;
  lines.reserve(kbs.size());
  for (const KnowledgeBase& kb : kbs) {
    lines.push_back("- " + kb.name + " — " + pageCountText(kb.fileCount));
  }
  parts.push_back("# Knowledge bases\n\n" + joinText(lines, "\n") +
                  "\n\nCall `corvanta_get_overview(kb=\"<name>\")` for a per-KB index with "
                  "titles, domains, and summaries.");
  return makeToolResult(joinText(parts, "\n\n---\n\n"));
}

}  // namespace

nlohmann::json listKnowledgeBasesTool(KestFileManager& store, const ToolArguments&) {
  std::vector<KnowledgeBase> kbs = store.listKnowledgeBases();
  if (kbs.empty()) return makeToolResult(noKnowledgeBasesText(store));
  std::vector<std::string> lines;
  lines.reserve(kbs.size());
  for (const KnowledgeBase& kb : kbs) {
    std::string date = kb.lastModified ? formatMediumDateShortTime(*kb.lastModified) : "never";
    lines.push_back("- " + kb.name + " (" + std::to_string(kb.fileCount) +
                    " files, last modified: " + date + ")");
  }
  return makeToolResult("Knowledge bases:\n" + joinText(lines, "\n"));
}

nlohmann::json listFilesTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.knowledgeBaseOrDefault();
  std::string query = arguments.text("query");
  std::vector<SavedFile> files =
      store.listFiles(kb, query.empty() ? std::nullopt : std::optional<std::string>(query));
  if (files.empty()) return makeToolResult(noFilesText(kb));
  std::vector<std::string> entries;
  entries.reserve(files.size());
  for (const SavedFile& file : files) {
    entries.push_back("- " + file.title + "\n  URL: " + file.url + "\n  Domain: " + file.domain +
                      "\n  Saved: " + formatMediumDateShortTime(file.savedAt) +
                      "\n  File: " + file.filename);
  }
  return makeToolResult("Files in '" + kb + "' (" + std::to_string(files.size()) + "):\n" +
                        joinText(entries, "\n"));
}

nlohmann::json readFileTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.knowledgeBaseOrDefault();
  std::string filename = arguments.text("filename");
  std::optional<std::string> text = store.readFile(kb, filename);
  if (!text)
    return makeToolResult("Error: File '" + filename + "' not found in '" + kb + "'", true);
  return makeToolResult(std::move(*text));
}

nlohmann::json getOverviewTool(KestFileManager& store, const ToolArguments& arguments) {
  std::optional<std::string> kb = optionalKnowledgeBase(arguments);
  return kb ? knowledgeBaseOverview(store, *kb) : vaultOverview(store);
}

nlohmann::json searchTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string query = arguments.text("query");
  // An empty query can match nothing; answering here keeps the index unopened.
  std::vector<SearchResult> hits;
  if (!query.empty()) hits = store.searchPages(query, optionalKnowledgeBase(arguments));
  if (hits.empty()) return makeToolResult("No results found for '" + query + "'");
  std::vector<std::string> entries;
  entries.reserve(hits.size());
  for (const SearchResult& hit : hits) entries.push_back(searchEntry(hit));
  return makeToolResult("Search results for '" + query + "' (" + std::to_string(hits.size()) +
                        " matches):\n" + joinText(entries, "\n"));
}

nlohmann::json listTopicsTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.knowledgeBaseOrDefault();
  std::vector<TopicEntry> topics = store.listTopics(kb);
  if (topics.empty()) {
    return makeToolResult("No topic pages in '" + kb +
                          "'. Use corvanta_synthesize to create one from related pages.");
  }
  std::vector<std::string> lines;
  lines.reserve(topics.size());
  for (const TopicEntry& topic : topics) lines.push_back(topicLine(store, kb, topic));
  return makeToolResult("Topic pages in '" + kb + "' (" + std::to_string(topics.size()) + "):\n" +
                        joinText(lines, "\n"));
}

nlohmann::json getRelationsTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.knowledgeBaseOrDefault();
  std::string filename = arguments.text("filename");
  std::vector<RelatedPage> related = store.relatedPages(kb, filename);
  if (related.empty()) {
    return makeToolResult("No related pages found for '" + filename + "' in '" + kb +
                          "'. Use corvanta_add_relation to record connections you discover.");
  }
  std::vector<std::string> entries;
  entries.reserve(related.size());
  for (const RelatedPage& page : related) {
    entries.push_back("- **" + page.filename + "** (" + page.kb + ")\n  " + page.reason);
  }
  return makeToolResult("Related pages for '" + filename + "' (" + std::to_string(related.size()) +
                        "):\n" + joinText(entries, "\n"));
}

}  // namespace corvanta
