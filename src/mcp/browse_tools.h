// The reading tools: listing knowledge bases and pages, reading a page, the
// overview, full-text search, topic pages and relations. They never change the
// vault, so all seven are offered on the read-only connector.
//
// Each returns a tool result whose text is meant for the assistant to read.
// Reading failures never raise: the store gives empty lists or no text, which
// show as the "No ... found" texts (or, for a page read, an error result).
#pragma once

#include <nlohmann/json.hpp>

namespace corvanta {

class KestFileManager;
class ToolArguments;

// corvanta_list_knowledge_bases: every knowledge base with its page count and the
// modification date of its newest page.
nlohmann::json listKnowledgeBasesTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_list_files (kb, optional query): the pages of one knowledge base,
// newest first, five lines each.
nlohmann::json listFilesTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_read_file (kb, filename): the file's whole text, unchanged. System
// files are readable too.
nlohmann::json readFileTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_get_overview (optional kb): the compiled index of one knowledge base
// (or, while it is being built, a plain listing), or the vault guide followed by
// the list of knowledge bases.
nlohmann::json getOverviewTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_search (query, optional kb): up to 20 hits in the index's rank order,
// each with its first two matching lines.
nlohmann::json searchTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_list_topics (kb): the topic pages of a knowledge base with the titles
// of their "# " headings.
nlohmann::json listTopicsTool(KestFileManager& store, const ToolArguments& arguments);
// corvanta_get_relations (kb, filename): the pages the knowledge graph relates to
// this one, with the recorded reasons.
nlohmann::json getRelationsTool(KestFileManager& store, const ToolArguments& arguments);

}  // namespace corvanta
