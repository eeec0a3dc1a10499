#include "vault/kest_file_manager.h"

#include "platform/background_queue.h"
#include "platform/settings_store.h"
#include "search/search_index.h"
#include "vault/derived_file_scheduler.h"

namespace corvanta {

// Placeholder until the vault store lands.
std::shared_ptr<KestFileManager> KestFileManager::create(std::optional<std::string> root,
                                                         const SettingsStore& settings,
                                                         const Paths& paths) {
  std::string chosen = root ? *root
                            : settings.string("vaultRootPath").value_or(paths.defaultVaultRoot());
  return std::make_shared<KestFileManager>(chosen, paths, BackgroundQueue::shared());
}

KestFileManager::KestFileManager(std::string rootPath, Paths paths, BackgroundQueue& background)
    : rootPath_(rootPath), resolvedRoot_(rootPath), paths_(std::move(paths)),
      background_(background) {}
KestFileManager::~KestFileManager() = default;

std::string KestFileManager::resolvedPath(const std::string& kb) const { return rootPath_ + "/" + kb; }
std::string KestFileManager::resolvedPath(const std::string& kb, const std::string& f) const {
  return rootPath_ + "/" + kb + "/" + f;
}
void KestFileManager::ensureDefaultKnowledgeBase() const {}
std::vector<KnowledgeBase> KestFileManager::listKnowledgeBases() const { return {}; }
void KestFileManager::createKnowledgeBase(const std::string&) const {}
void KestFileManager::deleteKnowledgeBase(const std::string&) const {}
std::vector<SavedFile> KestFileManager::listFiles(const std::string&,
                                                  const std::optional<std::string>&) const {
  return {};
}
std::optional<std::string> KestFileManager::readFile(const std::string&, const std::string&) const {
  return std::nullopt;
}
std::string KestFileManager::writeFile(const std::string&, const std::string& f,
                                       const std::string&, const FileMeta&) {
  return f;
}
void KestFileManager::editFile(const std::string&, const std::string&, const std::string&) {}
void KestFileManager::moveFile(const std::string&, const std::string&, const std::string&) {}
void KestFileManager::deleteFile(const std::string&, const std::string&) {}
void KestFileManager::writeTopic(const std::string&, const std::string&, const std::string&) {}
std::vector<TopicEntry> KestFileManager::listTopics(const std::string&) const { return {}; }
SearchIndex& KestFileManager::searchIndex() {
  std::call_once(searchIndexOnce_, [&] { searchIndex_ = std::make_unique<SearchIndex>(rootPath_); });
  return *searchIndex_;
}
std::vector<SearchResult> KestFileManager::searchPages(const std::string&,
                                                       const std::optional<std::string>&) {
  return {};
}
int64_t KestFileManager::countSavedPages(const std::string&) { return 0; }
std::optional<std::string> KestFileManager::readIndex(const std::string&) const {
  return std::nullopt;
}
std::optional<std::string> KestFileManager::readGuide() const { return std::nullopt; }

}  // namespace corvanta
