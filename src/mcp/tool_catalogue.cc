#include "mcp/tool_catalogue.h"

#include <algorithm>
#include <vector>

namespace corvanta {
namespace {

struct Argument {
  const char* name;
  const char* description;
  bool stringArray = false;  // otherwise a plain string
};

struct Tool {
  const char* name;
  bool readOnly;
  const char* description;
  std::vector<Argument> arguments;
  std::vector<const char*> required;
};

// Catalogue order is what hosts show; the read-only connector keeps it too. Built
// on first use so that processes that never speak MCP pay nothing for it.
const std::vector<Tool>& toolTable() {
  static const std::vector<Tool> tools = {
      {"corvanta_list_knowledge_bases",
       true,
       "List all knowledge bases in the user's Corvanta Vault with their file counts and last "
       "modified dates. The Corvanta Vault is the user's personal knowledge library — they saved "
       "web pages here specifically so you would check them.",
       {},
       {}},
      {"corvanta_list_files",
       true,
       "List all saved markdown files in a knowledge base, with title, URL, domain, and date. Use "
       "this to browse what the user has saved — filenames contain useful context about topics.",
       {{"kb", "Knowledge base name (e.g., 'General')"},
        {"query", "Optional search filter for title/domain"}},
       {"kb"}},
      {"corvanta_read_file",
       true,
       "Read the full markdown content of a saved file, including its frontmatter metadata. Use "
       "after finding relevant files via search or list_files.",
       {{"kb", "Knowledge base name"},
        {"filename", "The markdown filename (e.g., 'react-docs-20260405-1430.md')"}},
       {"kb", "filename"}},
      {"corvanta_get_overview",
       true,
       "Get a compiled overview of a knowledge base (or all KBs) showing all saved pages grouped "
       "by "
       "source with one-line summaries. Call this FIRST to understand what the user has saved — "
       "it's faster than searching and gives you the full picture. Each entry includes the "
       "filename "
       "you can use with corvanta_read_file.",
       {{"kb", "Optional: specific KB name. Omit to get overviews of all KBs."}},
       {}},
      {"corvanta_search",
       true,
       "IMPORTANT: You MUST call this tool BEFORE answering ANY user question to check if they "
       "have "
       "saved relevant content. Full-text search across all saved pages in the user's Corvanta "
       "Vault. Searches titles, URLs, domains, and page content. The user connected Corvanta "
       "specifically because they want answers grounded in their curated personal knowledge. Try "
       "multiple search queries with different keywords if the first returns no results.",
       {{"query", "Search query"}, {"kb", "Optional: limit search to a specific knowledge base"}},
       {"query"}},
      {"corvanta_synthesize",
       false,
       "Read multiple saved files and prepare them for synthesis into a topic page. Returns the "
       "content of all requested files so you can synthesize them yourself. After writing your "
       "synthesis, call corvanta_write_topic to persist it. Use this when you notice related pages "
       "that would benefit from a unified synthesis.",
       {{"kb", "Knowledge base to read files from"},
        {"filenames", "List of filenames to read (2-8 files)", true},
        {"topic", "Topic name for the synthesis"}},
       {"kb", "filenames", "topic"}},
      {"corvanta_write_topic",
       false,
       "Write a synthesized topic page to a knowledge base. Use after reading files with "
       "corvanta_synthesize and writing your synthesis.",
       {{"kb", "Knowledge base to write to"},
        {"topic", "Topic name (used for filename slug)"},
        {"content", "The full markdown content of the topic page"}},
       {"kb", "topic", "content"}},
      {"corvanta_add_relation",
       false,
       "Record a connection between two saved pages in the knowledge graph. Call this when you "
       "discover that two pages are topically related. The relation will appear in the index and "
       "be visible via corvanta_get_relations.",
       {{"from", "Source page as 'kb/filename.md'"},
        {"to", "Target page as 'kb/filename.md'"},
        {"reason", "One-sentence explanation of the connection"}},
       {"from", "to", "reason"}},
      {"corvanta_list_topics",
       true,
       "List synthesized topic pages in a knowledge base. Topic pages are AI-generated syntheses "
       "that combine insights from multiple saved pages into a single compounding document.",
       {{"kb", "Knowledge base name"}},
       {"kb"}},
      {"corvanta_get_relations",
       true,
       "Get pages related to a specific saved file. Returns topically connected pages with reasons "
       "for the connection. Use this to explore how saved knowledge connects — e.g. to find "
       "complementary sources, trace a research thread, or suggest synthesis opportunities.",
       {{"kb", "Knowledge base name"}, {"filename", "The markdown filename to find relations for"}},
       {"kb", "filename"}},
      {"corvanta_move_file",
       false,
       "Move a saved file from one knowledge base to another. Creates the destination KB if it "
       "doesn't exist. Use this to reorganize the vault by moving pages to more appropriate "
       "knowledge bases.",
       {{"from_kb", "Source knowledge base name"},
        {"filename", "The markdown filename to move"},
        {"to_kb", "Destination knowledge base name (created if it doesn't exist)"}},
       {"from_kb", "filename", "to_kb"}},
      {"corvanta_edit_file",
       false,
       "Replace the content of an existing saved file. Always use corvanta_read_file first to get "
       "the current content, modify it, then pass the full updated content here. Cannot edit "
       "system files (filenames starting with '_').",
       {{"kb", "Knowledge base name"},
        {"filename", "The markdown filename to edit"},
        {"content", "The complete new content for the file (full replacement, not a diff)"}},
       {"kb", "filename", "content"}},
      {"corvanta_delete_file",
       false,
       "Delete a saved file from a knowledge base. Use this to remove duplicates or unwanted "
       "pages. "
       "Cannot delete system files (filenames starting with '_').",
       {{"kb", "Knowledge base name"}, {"filename", "The markdown filename to delete"}},
       {"kb", "filename"}},
      {"corvanta_delete_kb",
       false,
       "Delete an empty knowledge base. Only works if the KB has 0 files — move or delete files "
       "first. Use after reorganizing to clean up empty KBs.",
       {{"name", "Name of the knowledge base to delete"}},
       {"name"}},
      {"corvanta_save_url",
       false,
       "Save a web page into the user's Corvanta Vault from its URL. The page is captured through "
       "the user's logged-in Chrome browser via the Corvanta extension (so login-gated content "
       "like "
       "Instagram posts, tweets, and paywalled articles capture fully), converted to canonical "
       "markdown, and saved to the default knowledge base. Works for single posts, articles, and "
       "videos — NOT for feeds, home pages, or profiles. This call takes 15-50 seconds; wait for "
       "it. Requires Google Chrome with the Corvanta extension on this machine. On success, "
       "returns "
       "the saved file's title, knowledge base, and filename — use corvanta_move_file afterwards "
       "if a different KB fits better.",
       {{"url", "The full http(s) URL of the page to save"}},
       {"url"}},
      {"corvanta_lint",
       true,
       "Run a health check on the Corvanta Vault. Detects duplicate URLs, orphan pages (no "
       "connections to other pages), stale content (older than 6 months), empty knowledge bases, "
       "and synthesis opportunities (clusters of 3+ connected pages without a topic page). Returns "
       "a report you can present to the user.",
       {},
       {}},
  };
  return tools;
}

nlohmann::json argumentSchema(const Argument& argument) {
  if (argument.stringArray) {
    return {
        {"type", "array"}, {"items", {{"type", "string"}}}, {"description", argument.description}};
  }
  return {{"type", "string"}, {"description", argument.description}};
}

nlohmann::json toolObject(const Tool& tool) {
  nlohmann::json properties = nlohmann::json::object();
  for (const Argument& argument : tool.arguments) {
    properties[argument.name] = argumentSchema(argument);
  }
  nlohmann::json required = nlohmann::json::array();
  for (const char* name : tool.required) required.push_back(name);
  return {{"name", tool.name},
          {"description", tool.description},
          {"inputSchema",
           {{"type", "object"}, {"properties", std::move(properties)}, {"required", required}}}};
}

nlohmann::json buildCatalogue(bool readOnlyOnly) {
  nlohmann::json tools = nlohmann::json::array();
  for (const Tool& tool : toolTable()) {
    if (!readOnlyOnly || tool.readOnly) tools.push_back(toolObject(tool));
  }
  return tools;
}

}  // namespace

const nlohmann::json& toolCatalogue() {
  static const nlohmann::json catalogue = buildCatalogue(false);
  return catalogue;
}

const nlohmann::json& readOnlyToolCatalogue() {
  static const nlohmann::json catalogue = buildCatalogue(true);
  return catalogue;
}

bool isReadOnlyTool(std::string_view name) {
  const std::vector<Tool>& tools = toolTable();
  return std::any_of(tools.begin(), tools.end(),
                     [&](const Tool& tool) { return tool.readOnly && name == tool.name; });
}

}  // namespace corvanta
