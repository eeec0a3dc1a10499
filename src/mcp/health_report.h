// The vault health report of corvanta_lint: duplicate URLs, pages without
// relations (orphans), pages older than six months, empty knowledge bases, and
// clusters of related pages in knowledge bases that have no topic page yet.
//
// Every page of every knowledge base is listed once per report (each listing
// reads and parses the page), so the report costs one pass over the vault.
// Nothing here writes; unreadable pages and an unreadable graph simply
// contribute nothing.
#pragma once

#include <chrono>
#include <string>

#include <nlohmann/json.hpp>

namespace corvanta {

class KestFileManager;
class ToolArguments;

// Lines of each report section before "... and <n> more".
constexpr size_t kHealthReportListLimit = 20;
// Synthesis opportunities reported, and keys shown per cluster.
constexpr size_t kHealthReportClusterLimit = 5;

// The report as of `now`: pages saved strictly before `now` moved back six
// calendar months are stale.
//
// Clusters (connected components of the graph with three or more pages) are
// reported in the order in which their first page appears in the graph's edges
// (each edge's "from", then its "to", edges in stored order), and the pages of a
// cluster in that same order. The first page therefore names the knowledge base
// whose topic pages decide whether the cluster is an opportunity.
std::string healthReport(KestFileManager& store, std::chrono::system_clock::time_point now);

// corvanta_lint (no arguments): the report as of the current time, as a plain
// result; it never fails.
nlohmann::json lintTool(KestFileManager& store, const ToolArguments& arguments);

}  // namespace corvanta
