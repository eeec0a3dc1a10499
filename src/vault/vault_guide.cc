// The vault guide "README.md": written for assistants that open the vault folder
// directly. It tabulates the knowledge bases with their main sources and shows
// the progress towards the 42-page milestone.

#include <algorithm>
#include <filesystem>
#include <unordered_map>

#include "platform/atomic_file.h"
#include "vault/folder_entries.h"
#include "vault/kest_file_manager.h"
#include "vault/page_metadata.h"
#include "vault/text_file.h"
#include "vault/vault_names.h"

namespace corvanta {
namespace {

constexpr int64_t kMilestone = 42;
constexpr size_t kTopDomains = 3;

struct KBStats {
  std::string name;
  int64_t fileCount = 0;
  std::vector<std::string> topDomains;
};

// The three domains with the most pages. Equal counts go by name, so that an
// unchanged vault always gives the same guide.
std::vector<std::string> topDomainsOf(const std::string& folder) {
  std::optional<std::vector<std::string>> names = folderEntryNames(folder);
  if (!names) return {};
  std::unordered_map<std::string, int64_t> counts;
  for (const std::string& name : *names) {
    if (!isPageFileName(name)) continue;
    std::optional<TextFile> file = readTextFile(folder + "/" + name);
    if (!file) continue;
    // The domain depends on the text alone. Leaving out the name and the location
    // spares the date lookup (a file-name date parse or a stat), which would
    // otherwise cost more than everything else this vault-wide pass does.
    std::string domain = parseMetadata({}, file->text, {}).domain;
    if (!domain.empty()) ++counts[std::move(domain)];
  }
  std::vector<std::pair<std::string, int64_t>> ranked(counts.begin(), counts.end());
  std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  });
  if (ranked.size() > kTopDomains) ranked.resize(kTopDomains);
  std::vector<std::string> top;
  for (auto& [domain, count] : ranked) top.push_back(std::move(domain));
  return top;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += separator;
    out += parts[i];
  }
  return out;
}

void appendKnowledgeBaseSection(std::string& out, const std::vector<KBStats>& stats) {
  int64_t total = 0;
  for (const KBStats& kb : stats) total += kb.fileCount;
  out += "## Knowledge bases\n\n";
  out += "| Knowledge Base | Pages | Top sources |\n";
  out += "|---|---|---|\n";
  for (const KBStats& kb : stats) {
    out += "| " + kb.name + " | " + std::to_string(kb.fileCount) + " | " +
           joined(kb.topDomains, ", ") + " |\n";
  }
  out += "\n**" + std::to_string(total) + " pages saved** \u2014 ";
  if (total < kMilestone) {
    out += std::to_string(kMilestone - total) + " more to unlock Superintelligence.\n";
  } else {
    out += "Superintelligence unlocked.\n";
  }
  out += "\n";
}

std::string renderGuide(const std::string& rootPath, const std::vector<KBStats>& stats) {
  std::string out =
      "# Corvanta Vault\n"
      "\n"
      "This is your personal knowledge library, managed by Corvanta.\n"
      "Claude uses this vault to ground answers in your curated knowledge.\n"
      "\n";
  if (!stats.empty()) appendKnowledgeBaseSection(out, stats);
  out += "## How files are organized\n\n";
  out += "Each knowledge base is a folder inside " + rootPath + "/.\n";
  out +=
      "Every saved page is a markdown file named after its save time\n"
      "(`YYYY-MM-DD HH.MM.SS.md`, so sorting by name = chronological order)\n"
      "with metadata in its header:\n"
      "\n"
      "- Files with the standard Corvanta header (# Title as H1, then \U0001F517 Source, "
      "\U0001F4C5 Saved on) \u2014 legacy files may use \U0001F4C4 Title: instead of the H1.\n"
      "- Files starting with --- use YAML frontmatter (title, url, domain, saved_at).\n"
      "\n"
      "Both formats are fully supported. Metadata is always available regardless of format.\n"
      "\n"
      "## Compiled indexes\n"
      "\n"
      "Each knowledge base contains an `_index.md` with all pages grouped by source domain\n"
      "and one-line summaries, plus a list of recent saves. These are auto-generated\n"
      "and updated on every save.\n"
      "\n"
      "## About Corvanta\n"
      "\n"
      "Corvanta is a Chrome extension that converts any webpage to clean, structured markdown.\n"
      "Pages are stored locally in this vault and exposed to Claude via Corvanta MCP, giving\n"
      "you a personalized AI that knows your research.\n";
  return out;
}

// Files of earlier versions that the guide replaces. Only plain files go: a
// folder of either name would be a knowledge base.
void removeLegacyFiles(const std::string& rootPath) {
  for (const char* name : {"KEST.md", "_log.md"}) {
    const std::string path = rootPath + "/" + name;
    std::error_code error;
    auto status = std::filesystem::symlink_status(path, error);
    if (error || status.type() == std::filesystem::file_type::directory) continue;
    std::filesystem::remove(path, error);
  }
}

}  // namespace

void KestFileManager::generateGuide() const {
  std::vector<KBStats> stats;
  for (KnowledgeBase& kb : listKnowledgeBases()) {
    KBStats entry{std::move(kb.name), kb.fileCount, {}};
    try {
      entry.topDomains = topDomainsOf(resolvedPath(entry.name));
    } catch (const std::exception&) {
      // An unresolvable folder still gets its row, without sources.
    }
    stats.push_back(std::move(entry));
  }
  try {
    writeFileAtomically(rootPath_ + "/README.md", renderGuide(rootPath_, stats));
  } catch (const std::exception&) {
    // The previous guide stays.
  }
  removeLegacyFiles(rootPath_);
}

}  // namespace corvanta
