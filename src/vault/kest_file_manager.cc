// The vault store: construction, names and paths, knowledge bases, and the
// search entry points. Page and topic operations are in
// kest_file_manager_pages.cc.
#include "vault/kest_file_manager.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/background_queue.h"
#include "platform/settings_store.h"
#include "platform/unicode_text.h"
#include "search/search_index.h"
#include "vault/derived_file_scheduler.h"
#include "vault/folder_entries.h"
#include "vault/text_file.h"
#include "vault/vault_names.h"
#include "vault/vault_path_error.h"

namespace corvanta {
namespace {

std::optional<TimePoint> modificationTime(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  auto since =
      std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
  return TimePoint(std::chrono::duration_cast<TimePoint::duration>(since));
}

bool isDirectory(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

bool isRegularFile(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

KnowledgeBase describeKnowledgeBase(const std::string& name, const std::string& folder) {
  KnowledgeBase kb;
  kb.name = name;
  for (const std::string& entry : folderEntryNames(folder).value_or(std::vector<std::string>())) {
    if (!isPageFileName(entry)) continue;
    std::string path = folder + "/" + entry;
    if (!isRegularFile(path)) continue;
    ++kb.fileCount;
    auto modified = modificationTime(path);
    if (modified && (!kb.lastModified || *modified > *kb.lastModified)) kb.lastModified = modified;
  }
  return kb;
}

// A second line of defence behind the name rules, which already forbid
// separators and "..": the standardized path must be the root or lie under it.
std::string containedPath(std::string path, const std::string& root) {
  const std::string prefix = root.ends_with('/') ? root : root + "/";
  if (path != root && !path.starts_with(prefix)) throw VaultPathError::pathEscapesVault(path);
  return path;
}

}  // namespace

std::shared_ptr<KestFileManager> KestFileManager::create(std::optional<std::string> root,
                                                         const SettingsStore& settings,
                                                         const Paths& paths) {
  std::string chosen;
  if (root) {
    chosen = *root;
  } else if (auto saved = settings.string("vaultRootPath"); saved && !saved->empty()) {
    // An empty saved path would make the vault root the current folder (or, once
    // joined, the file-system root); it is treated as no setting at all.
    chosen = *saved;
  } else {
    chosen = paths.defaultVaultRoot();
  }
  return std::make_shared<KestFileManager>(chosen, paths, BackgroundQueue::shared());
}

KestFileManager::KestFileManager(std::string rootPath, Paths paths, BackgroundQueue& background)
    : rootPath_(std::move(rootPath)),
      resolvedRoot_(standardizePath(rootPath_, paths.home())),
      paths_(std::move(paths)),
      background_(background),
      derivedFiles_(std::make_unique<DerivedFileScheduler>(background)) {}

KestFileManager::~KestFileManager() = default;

// --- Names and paths -----------------------------------------------------------

std::string KestFileManager::resolvedPath(const std::string& kb) const {
  validateName(kb, "Knowledge base name");
  return containedPath(standardizePath(rootPath_ + "/" + kb, paths_.home()), resolvedRoot_);
}

std::string KestFileManager::resolvedPath(const std::string& kb,
                                          const std::string& filename) const {
  validateName(kb, "Knowledge base name");
  validateName(filename, "Filename");
  return containedPath(standardizePath(rootPath_ + "/" + kb + "/" + filename, paths_.home()),
                       resolvedRoot_);
}

void KestFileManager::ensureDefaultKnowledgeBase() const {
  try {
    std::string folder = resolvedPath("General");
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder, error))) {
      std::filesystem::create_directories(folder, error);
    }
  } catch (const std::exception&) {
    // Quiet by design: the panel calls this every time it opens.
  }
}

// --- Knowledge bases -------------------------------------------------------------

// The root is listed as standardized (the configured text with "~" expanded);
// the plain configured text would name a folder literally called "~".
std::vector<KnowledgeBase> KestFileManager::listKnowledgeBases() const {
  std::vector<KnowledgeBase> kbs;
  try {
    for (const std::string& name :
         folderEntryNames(resolvedRoot_).value_or(std::vector<std::string>())) {
      if (name.starts_with('.')) continue;
      std::string folder = resolvedRoot_ + "/" + name;
      if (!isDirectory(folder)) continue;
      kbs.push_back(describeKnowledgeBase(name, folder));
    }
    std::stable_sort(kbs.begin(), kbs.end(), [](const KnowledgeBase& a, const KnowledgeBase& b) {
      return compareLocalizedCaseInsensitive(a.name, b.name) < 0;
    });
  } catch (const std::exception&) {
    return {};
  }
  return kbs;
}

void KestFileManager::createKnowledgeBase(const std::string& name) const {
  std::filesystem::create_directories(resolvedPath(name));
}

void KestFileManager::deleteKnowledgeBase(const std::string& name) {
  std::string folder = resolvedPath(name);
  if (!std::filesystem::exists(std::filesystem::symlink_status(folder))) {
    throw std::filesystem::filesystem_error(
        "Knowledge base does not exist", folder,
        std::make_error_code(std::errc::no_such_file_or_directory));
  }
  std::filesystem::remove_all(folder);
  // The pages are gone; rows left behind would be hits that can never be opened,
  // and an index that is not empty is never rebuilt to drop them.
  searchIndex().removeKnowledgeBase(name);
}

// --- Search --------------------------------------------------------------------------

SearchIndex& KestFileManager::searchIndex() {
  std::call_once(searchIndexOnce_, [this] {
    searchIndex_ = std::make_unique<SearchIndex>(resolvedRoot_);
    // The job holds the store weakly: a store that is gone has nothing to index.
    // (A store not owned by a shared_ptr schedules nothing that could run.)
    std::weak_ptr<KestFileManager> weak = weak_from_this();
    background_.post([weak] {
      auto store = weak.lock();
      if (!store) return;
      SearchIndex& index = store->searchIndex();
      if (index.isEmpty()) index.rebuildAll(*store);
    });
  });
  return *searchIndex_;
}

std::vector<SearchResult> KestFileManager::searchPages(const std::string& query,
                                                       const std::optional<std::string>& kb) {
  // Text without words never reaches (or creates) the index.
  if (query.empty() || SearchIndex::buildMatchQuery(query).empty()) return {};
  return searchIndex().search(query, kb, 20);
}

int64_t KestFileManager::countSavedPages(const std::string& url) {
  if (url.empty()) return 0;
  return searchIndex().countPagesWithURL(url);
}

std::optional<std::string> KestFileManager::readIndex(const std::string& kb) const {
  try {
    if (auto file = readTextFile(resolvedPath(kb, "_index.md"))) return std::move(file->text);
  } catch (const std::exception&) {
  }
  return std::nullopt;
}

std::optional<std::string> KestFileManager::readGuide() const {
  if (auto file = readTextFile(resolvedRoot_ + "/README.md")) return std::move(file->text);
  return std::nullopt;
}

}  // namespace corvanta
