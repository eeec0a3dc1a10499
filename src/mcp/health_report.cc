#include "mcp/health_report.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "mcp/text_join.h"
#include "mcp/tool_result.h"
#include "platform/local_time.h"
#include "vault/kest_file_manager.h"

namespace corvanta {
namespace {

using Lines = std::vector<std::string>;

struct ListedPage {
  std::string kb;
  SavedFile file;
  std::string key() const { return kb + "/" + file.filename; }
};

// The vault read once: knowledge bases and their pages, both in store order.
struct VaultListing {
  std::vector<KnowledgeBase> kbs;
  std::vector<ListedPage> pages;
};

VaultListing listVault(KestFileManager& store) {
  VaultListing listing;
  listing.kbs = store.listKnowledgeBases();
  for (const KnowledgeBase& kb : listing.kbs) {
    for (SavedFile& file : store.listFiles(kb.name)) {
      listing.pages.push_back({kb.name, std::move(file)});
    }
  }
  return listing;
}

// Appends the first kHealthReportListLimit items and a line for the rest.
void appendLimited(Lines& lines, const Lines& items) {
  size_t shown = std::min(items.size(), kHealthReportListLimit);
  lines.insert(lines.end(), items.begin(), items.begin() + static_cast<ptrdiff_t>(shown));
  if (items.size() > kHealthReportListLimit) {
    lines.push_back("- ... and " + std::to_string(items.size() - kHealthReportListLimit) + " more");
  }
}

// Each section below appends its lines (nothing when it found nothing) and
// returns the number of issues it counts towards the summary.

size_t appendDuplicateURLs(const VaultListing& vault, Lines& lines) {
  std::map<std::string, Lines> pagesByURL;  // sorted by URL, pages in discovery order
  for (const ListedPage& page : vault.pages) {
    if (!page.file.url.empty()) pagesByURL[page.file.url].push_back(page.key());
  }
  std::erase_if(pagesByURL, [](const auto& group) { return group.second.size() < 2; });
  if (pagesByURL.empty()) return 0;
  lines.push_back("## Duplicate URLs (" + std::to_string(pagesByURL.size()) + ")");
  for (const auto& [url, keys] : pagesByURL) {
    lines.push_back("- " + url + "\n  Files: " + joinText(keys, ", "));
  }
  lines.emplace_back();
  return pagesByURL.size();
}

size_t appendOrphans(const VaultListing& vault, const std::unordered_set<std::string>& connected,
                     Lines& lines) {
  Lines orphans;
  for (const ListedPage& page : vault.pages) {
    std::string key = page.key();
    if (!connected.contains(key)) orphans.push_back("- " + key);
  }
  if (orphans.empty()) return 0;
  lines.push_back("## Orphan Pages (" + std::to_string(orphans.size()) + ")");
  lines.push_back("Pages with no detected connections to other pages:");
  appendLimited(lines, orphans);
  lines.emplace_back();
  return 1;
}

size_t appendStalePages(const VaultListing& vault, TimePoint now, Lines& lines) {
  TimePoint cutoff = addCalendarMonths(now, -6).value_or(now);
  Lines stale;
  for (const ListedPage& page : vault.pages) {
    if (page.file.savedAt < cutoff) {
      stale.push_back("- " + page.key() + " (saved " +
                      formatLocalTime(page.file.savedAt, "yyyy-MM-dd") + ")");
    }
  }
  if (stale.empty()) return 0;
  lines.push_back("## Stale Pages (" + std::to_string(stale.size()) + ")");
  lines.push_back("Pages saved more than 6 months ago:");
  appendLimited(lines, stale);
  lines.emplace_back();
  return 1;
}

size_t appendEmptyKnowledgeBases(const VaultListing& vault, Lines& lines) {
  Lines empty;
  for (const KnowledgeBase& kb : vault.kbs) {
    if (kb.fileCount == 0) empty.push_back("- " + kb.name);
  }
  if (empty.empty()) return 0;
  lines.push_back("## Empty Knowledge Bases (" + std::to_string(empty.size()) + ")");
  lines.insert(lines.end(), empty.begin(), empty.end());
  lines.emplace_back();
  return empty.size();
}

// Union-find over page keys. find() compresses paths iteratively: a graph that
// is one long chain of relations must not run the stack out.
class PageUnion {
 public:
  std::string find(const std::string& key) {
    std::string root = key;
    for (auto it = parent_.try_emplace(root, root).first; it->second != root;
         it = parent_.find(root)) {
      root = it->second;
    }
    for (std::string node = key; node != root;) {
      std::string& up = parent_[node];
      node = std::exchange(up, root);
    }
    return root;
  }

  void join(const std::string& from, const std::string& to) {
    std::string a = find(from);
    std::string b = find(to);
    if (a != b) parent_[a] = b;
  }

 private:
  std::unordered_map<std::string, std::string> parent_;
};

// Every page key that is an end of some edge, in order of first appearance.
struct ConnectedPages {
  Lines ordered;
  std::unordered_set<std::string> set;

  explicit ConnectedPages(const KnowledgeGraph& graph) {
    for (const GraphEdge& edge : graph.edges) {
      add(edge.from);
      add(edge.to);
    }
  }
  void add(const std::string& key) {
    if (set.insert(key).second) ordered.push_back(key);
  }
};

// Connected components of three or more pages, ordered as healthReport documents.
std::vector<Lines> findClusters(const KnowledgeGraph& graph, const ConnectedPages& connected) {
  PageUnion pages;
  for (const GraphEdge& edge : graph.edges) pages.join(edge.from, edge.to);
  std::vector<Lines> components;
  std::unordered_map<std::string, size_t> componentOfRoot;
  for (const std::string& key : connected.ordered) {
    auto [it, added] = componentOfRoot.try_emplace(pages.find(key), components.size());
    if (added) components.emplace_back();
    components[it->second].push_back(key);
  }
  std::erase_if(components, [](const Lines& keys) { return keys.size() < 3; });
  return components;
}

std::string knowledgeBaseOfKey(const std::string& key) {
  size_t slash = key.find('/');
  return slash == std::string::npos ? "General" : key.substr(0, slash);
}

size_t appendSynthesisOpportunities(KestFileManager& store, const KnowledgeGraph& graph,
                                    const ConnectedPages& connected, Lines& lines) {
  std::map<std::string, bool> hasTopics;  // per knowledge base, asked once per report
  std::vector<Lines> opportunities;
  for (Lines& cluster : findClusters(graph, connected)) {
    std::string kb = knowledgeBaseOfKey(cluster.front());
    auto [it, added] = hasTopics.try_emplace(kb, false);
    if (added) it->second = !store.listTopics(kb).empty();
    if (!it->second) opportunities.push_back(std::move(cluster));
  }
  if (opportunities.empty()) return 0;
  lines.push_back("## Synthesis Opportunities (" + std::to_string(opportunities.size()) + ")");
  lines.push_back("Clusters of 3+ connected pages that could be synthesized into topic pages:");
  size_t shown = std::min(opportunities.size(), kHealthReportClusterLimit);
  for (size_t i = 0; i < shown; ++i) {
    const Lines& keys = opportunities[i];
    Lines firstKeys(keys.begin(), keys.begin() + static_cast<ptrdiff_t>(std::min(
                                                     keys.size(), kHealthReportClusterLimit)));
    lines.push_back("- Cluster " + std::to_string(i + 1) + " (" + std::to_string(keys.size()) +
                    " pages): " + joinText(firstKeys, ", "));
  }
  lines.emplace_back();
  return opportunities.size();
}

std::string summaryLine(const VaultListing& vault, size_t issues) {
  int64_t total = 0;
  for (const KnowledgeBase& kb : vault.kbs) total += kb.fileCount;
  std::string kbs = std::to_string(vault.kbs.size());
  if (issues == 0) {
    return "All clear! " + std::to_string(total) + " pages across " + kbs +
           " knowledge bases, no issues found.";
  }
  return "---\n" + std::to_string(total) + " pages across " + kbs + " KBs. " +
         std::to_string(issues) + " issue(s) found above.";
}

}  // namespace

std::string healthReport(KestFileManager& store, std::chrono::system_clock::time_point now) {
  VaultListing vault = listVault(store);
  KnowledgeGraph graph = store.loadGraph();
  ConnectedPages connected(graph);

  Lines lines = {"# Vault Health Report\n"};
  size_t issues = appendDuplicateURLs(vault, lines);
  issues += appendOrphans(vault, connected.set, lines);
  issues += appendStalePages(vault, now, lines);
  issues += appendEmptyKnowledgeBases(vault, lines);
  issues += appendSynthesisOpportunities(store, graph, connected, lines);
  lines.push_back(summaryLine(vault, issues));
  return joinText(lines, "\n");
}

nlohmann::json lintTool(KestFileManager& store, const ToolArguments&) {
  return makeToolResult(healthReport(store, std::chrono::system_clock::now()));
}

}  // namespace corvanta
