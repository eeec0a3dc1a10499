#include "mcp/synthesis.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "mcp/text_join.h"
#include "mcp/tool_arguments.h"
#include "mcp/tool_result.h"
#include "mcp/vault_file_reader.h"
#include "platform/unicode_text.h"
#include "vault/page_metadata.h"

namespace corvanta {
namespace {

std::vector<std::string> requestHeader(const std::string& kb, const std::string& topic,
                                       size_t fileCount) {
  return {
      "# Synthesis request: " + topic + "\n",
      "Read " + std::to_string(fileCount) + " files below, then write a synthesis that:",
      "- Identifies key insights across all sources",
      "- Notes agreements and contradictions",
      "- Cites sources by title and filename",
      "- Identifies gaps worth further research",
      "\nAfter writing your synthesis, call `corvanta_write_topic` with kb=\"" + kb +
          "\", topic=\"" + topic + "\", and your synthesis as content.\n",
  };
}

// Appends one source to the request; returns whether its page could be read.
bool appendSource(KestFileManager& store, const std::string& kb, const std::string& filename,
                  std::vector<std::string>& elements) {
  std::optional<VaultFileText> page = readVaultFile(store, kb, filename);
  if (!page) {
    elements.push_back("---\n**" + filename + "**: (not found)\n");
    return false;
  }
  FileMeta meta = parseMetadata(filename, page->text, page->path);
  elements.push_back("---\n## Source: " + meta.title + "\nFilename: " + filename +
                     "\nURL: " + meta.url + "\n");
  elements.push_back(graphemePrefix(stripFrontmatter(page->text), kSynthesisMaxBodyLength));
  return true;
}

}  // namespace

nlohmann::json synthesizeTool(KestFileManager& store, const ToolArguments& arguments) {
  std::string kb = arguments.knowledgeBaseOrDefault();
  std::vector<std::string> filenames = arguments.textList("filenames");
  std::string topic = arguments.text("topic");
  if (filenames.size() < 2) {
    return makeToolResult("Error: Need at least 2 filenames to synthesize", true);
  }
  if (topic.empty()) return makeToolResult("Error: A topic name is required", true);

  std::vector<std::string> elements = requestHeader(kb, topic, filenames.size());
  size_t read = 0;
  size_t sources = std::min(filenames.size(), kSynthesisMaxSources);
  for (size_t i = 0; i < sources; ++i) {
    if (appendSource(store, kb, filenames[i], elements)) ++read;
  }
  if (read < 2) {
    return makeToolResult("Error: Could not read enough files (need at least 2)", true);
  }
  return makeToolResult(joinText(elements, "\n"));
}

}  // namespace corvanta
