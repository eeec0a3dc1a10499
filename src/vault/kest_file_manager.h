// KestFileManager: the vault store. Every component of a process reaches the vault
// folder through the one store of that process. The page files on disk are the
// only source of truth; the store keeps no cache and reads the disk afresh on
// every call.
//
// Operations that change the vault throw VaultPathError or std::system_error /
// std::filesystem::filesystem_error (whose what() callers show as the error's
// description). Reading and listing operations are quiet: a failure gives an
// empty result.
//
// Several processes share one vault. Writes are atomic (readers see the old or
// the new file, never a partial one) and a new page never replaces another page,
// even when two processes save the same name at the same moment.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "vault/knowledge_graph.h"
#include "vault/records.h"

namespace corvanta {

class BackgroundQueue;
class SearchIndex;
class SettingsStore;
class DerivedFileScheduler;

struct TopicEntry {
  std::string slug;
  std::string filename;  // "_topic-<slug>.md"
};

class KestFileManager : public std::enable_shared_from_this<KestFileManager> {
 public:
  // The root is `root` when given, else the `vaultRootPath` setting when it holds
  // text, else the default folder. Does not touch the disk.
  static std::shared_ptr<KestFileManager> create(std::optional<std::string> root,
                                                 const SettingsStore& settings, const Paths& paths);

  // `background` runs the refresh jobs and the search index's rebuild.
  KestFileManager(std::string rootPath, Paths paths, BackgroundQueue& background);
  ~KestFileManager();
  KestFileManager(const KestFileManager&) = delete;
  KestFileManager& operator=(const KestFileManager&) = delete;

  // The root exactly as configured; all paths are built from it.
  const std::string& rootPath() const { return rootPath_; }
  // The standardized root, the reference of the containment check.
  const std::string& resolvedRoot() const { return resolvedRoot_; }
  const Paths& paths() const { return paths_; }
  BackgroundQueue& background() const { return background_; }

  // --- Names and paths ---------------------------------------------------------
  // Validates the names, then returns the standardized path of the knowledge-base
  // folder (no filename) or of the page; throws VaultPathError.
  std::string resolvedPath(const std::string& kb) const;
  std::string resolvedPath(const std::string& kb, const std::string& filename) const;
  // Creates "General" (and the root) when nothing exists there; quiet.
  void ensureDefaultKnowledgeBase() const;

  // --- Knowledge bases and pages ----------------------------------------------
  std::vector<KnowledgeBase> listKnowledgeBases() const;
  void createKnowledgeBase(const std::string& name) const;
  // Removes the folder with everything in it, and its pages' search rows.
  void deleteKnowledgeBase(const std::string& name);
  std::vector<SavedFile> listFiles(const std::string& kb,
                                   const std::optional<std::string>& filter = std::nullopt) const;
  std::optional<std::string> readFile(const std::string& kb, const std::string& filename) const;
  // Creates a new page and returns the file name actually written (the requested
  // name or the first free "-n" variant). Never replaces an existing file.
  std::string writeFile(const std::string& kb, const std::string& filename,
                        const std::string& content, const FileMeta& meta);
  void editFile(const std::string& kb, const std::string& filename, const std::string& content);
  void moveFile(const std::string& kb, const std::string& filename, const std::string& targetKb);
  void deleteFile(const std::string& kb, const std::string& filename);
  void writeTopic(const std::string& kb, const std::string& slug, const std::string& content);
  std::vector<TopicEntry> listTopics(const std::string& kb) const;

  // --- Search -------------------------------------------------------------------
  // The store's index, created on first use (which also schedules its empty check
  // and rebuild in the background; the job holds the store weakly, so a store
  // not owned by a shared_ptr never rebuilds).
  SearchIndex& searchIndex();
  std::vector<SearchResult> searchPages(const std::string& query,
                                        const std::optional<std::string>& kb);
  int64_t countSavedPages(const std::string& url);

  // --- Derived files (index files and guide) ----------------------------------
  // Regenerate in the background; return at once. Requests for the same target
  // that arrive before its regeneration starts share that one regeneration.
  void scheduleIndexRefresh(const std::string& kb);
  void scheduleGuideRefresh();
  // Waits (bounded) until every scheduled regeneration has finished. Used before
  // a short-lived process exits so its last change reaches the derived files.
  bool waitForRefreshes(std::chrono::milliseconds timeout);
  std::optional<std::string> readIndex(const std::string& kb) const;
  std::optional<std::string> readGuide() const;
  // The regenerations themselves (run by the scheduled jobs; public for tests and
  // benchmarks).
  void generateIndex(const std::string& kb) const;
  void generateGuide() const;
  // The scheduler behind the refreshes (its counters serve benchmarks and tests).
  DerivedFileScheduler& derivedFiles();

  // --- Knowledge graph ---------------------------------------------------------
  // <application support>/KestVault/_graph.json; creates the folder.
  std::string graphPath() const;
  KnowledgeGraph loadGraph() const;
  std::vector<RelatedPage> relatedPages(const std::string& kb, const std::string& filename) const;
  void addRelation(const std::string& from, const std::string& to, const std::string& reason);

 private:
  // Picks the first free name (filename, base-2.md, ... base-1000.md) and claims it
  // atomically with `claim`, which returns false when the name was taken meanwhile.
  template <typename Claim>
  std::string claimUniqueName(const std::string& kb, const std::string& filename,
                              Claim claim) const;

  const std::string rootPath_;
  const std::string resolvedRoot_;
  const Paths paths_;
  BackgroundQueue& background_;

  std::once_flag searchIndexOnce_;
  std::unique_ptr<SearchIndex> searchIndex_;
  std::once_flag derivedFilesOnce_;  // created on first use unless the constructor did
  std::unique_ptr<DerivedFileScheduler> derivedFiles_;
};

}  // namespace corvanta
